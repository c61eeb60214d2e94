// Saves that cannot finish: too little free space for the media, a disk that fills while the
// media or the composition are written, a first save that fails, and something else at the path.
// Each leaves an older package exactly as it was and the document able to save again.

#include "DocumentTestSupport.h"
#include "document/DocumentPackageFiles.h"
#include "model/CompositionMediaEntry.h"
#include "model/MediaFileOperations.h"
#include "model/SharedMediaManager.h"

#include <algorithm>
#include <chrono>

namespace vtl::test {
namespace {

// Real file operations on a volume whose free space and remaining room the test sets.
class FillingMediaFiles : public MediaFileOperations {
public:
    std::optional<std::uint64_t> freeBytes = std::uint64_t(1) << 40;
    // Copies beyond this fail as on a full disk (in the vague words some copies use), and the
    // volume then reports only this much free.
    std::uint64_t roomBytes = UINT64_MAX;
    int freeSpaceQuestions = 0;
    std::optional<std::uint64_t> freeBytesOfVolume(const std::filesystem::path&) const override {
        ++const_cast<FillingMediaFiles*>(this)->freeSpaceQuestions;
        return freeBytes;
    }
    Status copy(const std::filesystem::path& from, const std::filesystem::path& to) override {
        const std::uint64_t size = sizeOfResourceAtPath(from);
        if (size > roomBytes) {
            freeBytes = roomBytes;
            return fail("Cannot copy " + from.string() + ": Input/output error.");
        }
        roomBytes -= size;
        return MediaFileOperations::copy(from, to);
    }
};

class FillingPackageFiles : public DocumentPackageFiles {
public:
    std::uint64_t roomBytes = UINT64_MAX;
    Status writeFileAtomically(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes) override {
        if (bytes.size() > roomBytes)
            return fail("Writing " + path.string() + " failed: No space left on device.");
        roomBytes -= bytes.size();
        return DocumentPackageFiles::writeFileAtomically(path, bytes);
    }
};

class PackageSaveFault : public ::testing::Test {
protected:
    PackageSaveFault()
        : folder_(documentScratchFolder("save-fault"))
        , mediaFiles_(std::make_shared<FillingMediaFiles>())
        , packageFiles_(std::make_shared<FillingPackageFiles>())
        , media_(folder_ / "TemporaryResources", mediaFiles_) {
        document_.setSharedMediaManager(&media_);
        document_.setPackageFiles(packageFiles_);
    }
    ~PackageSaveFault() override {
        document_.tearDown();
        docfs::remove_all(folder_);
    }

    // A media file of the size, used by the document.
    std::shared_ptr<CompositionMediaEntry> addMedia(const std::string& name, std::size_t bytes) {
        const docfs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'm');
        auto entry = media_.entryForResourceWithFileSystemPath(path.string(), &document_,
                                                               SharedMediaManager::ResourceCopy::None);
        entry->addToUsageCounter(1);
        return entry;
    }

    // An older save of the document at the path, answered with its contents.
    std::map<std::string, std::vector<std::uint8_t>> olderSave(const docfs::path& package) {
        addMedia("older.bin", 1000);
        EXPECT_TRUE(document_.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        document_.objectsContainer()->setCanvasSize({640, 480}); // a change the next save carries
        return documentTreeContents(package);
    }

    docfs::path folder_;
    std::shared_ptr<FillingMediaFiles> mediaFiles_;
    std::shared_ptr<FillingPackageFiles> packageFiles_;
    SharedMediaManager media_;
    CompositionDocument document_;
};

TEST_F(PackageSaveFault, TooLittleFreeSpaceAlertsAndWritesNothing) {
    FakeDocumentWindow window;
    document_.setWindow(&window);
    const docfs::path package = folder_ / "b.vistrelcomposition";
    const auto before = olderSave(package);
    auto added = addMedia("large.bin", 10000);
    mediaFiles_->freeBytes = 14999; // 1.5 × 10000 does not fit
    const Status saved = document_.writeSafelyToURL(package.string(), PackageIcon::Skip);
    EXPECT_FALSE(saved.ok());
    ASSERT_EQ(window.alerts.size(), 1u);
    EXPECT_EQ(window.alerts[0].messageKey, "Document_Save_Error_DiskSpace_Title");
    EXPECT_EQ(window.alerts[0].informativeKey, "Document_Save_Error_DiskSpace_Message");
    EXPECT_EQ(window.alerts[0].buttonKeys, std::vector<std::string>{"Document_Save_Error_DiskSpace_OK"});
    EXPECT_EQ(documentTreeContents(package), before);
    EXPECT_FALSE(added->hasBeenSerialized());
    EXPECT_EQ(document_.copyBundleProgressSheetUseCounter(), 0u);
    EXPECT_FALSE(document_.objectsContainer()->extractionInterrupted()) << "extraction resumes on failure";

    mediaFiles_->freeBytes = 15000; // exactly enough
    ASSERT_TRUE(document_.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
    EXPECT_TRUE(added->hasBeenSerialized());
    // Every file is in the package now: the next save asks nothing about free space.
    mediaFiles_->freeSpaceQuestions = 0;
    ASSERT_TRUE(document_.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
    EXPECT_EQ(mediaFiles_->freeSpaceQuestions, 0);
    EXPECT_EQ(window.alerts.size(), 1u);
    document_.setWindow(nullptr);
}

TEST_F(PackageSaveFault, TheFreeSpaceCheckCountsTheFilesThePackageWillHold) {
    // Saved once, then the imported file goes: its copy in the package is what a save elsewhere
    // copies, and what must fit.
    const docfs::path first = folder_ / "first.vistrelcomposition";
    addMedia("imported.bin", 10000);
    ASSERT_TRUE(document_.writeSafelyToURL(first.string(), PackageIcon::Skip).ok());
    docfs::remove(folder_ / "imported.bin");
    mediaFiles_->freeBytes = 14999;
    const docfs::path second = folder_ / "second.vistrelcomposition";
    const Status saved = document_.writeSafelyToURL(second.string(), PackageIcon::Skip);
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.error().find("not enough free space"), std::string::npos) << saved.error();
    EXPECT_NE(saved.error().find(second.string()), std::string::npos) << "names the package asked for";
    EXPECT_FALSE(docfs::exists(second));

    // A disk that fills during the copy is called full, whatever the copy said.
    mediaFiles_->freeBytes = 15000;
    mediaFiles_->roomBytes = 5000;
    const Status filled = document_.writeSafelyToURL(second.string(), PackageIcon::Skip);
    ASSERT_FALSE(filled.ok());
    EXPECT_NE(filled.error().find("disk is full"), std::string::npos) << filled.error();
    EXPECT_FALSE(docfs::exists(second));
}

TEST_F(PackageSaveFault, ADiskFillingMidSaveLeavesTheOlderPackage) {
    struct Case {
        const char* name;
        std::uint64_t mediaRoom;
        std::uint64_t packageRoom;
    };
    const Case cases[] = {
        {"the second media file does not fit", 5000, UINT64_MAX},
        {"the composition does not fit", UINT64_MAX, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const docfs::path package = folder_ / (std::string(c.name).substr(4, 6) + ".vistrelcomposition");
        mediaFiles_->roomBytes = UINT64_MAX;
        mediaFiles_->freeBytes = std::uint64_t(1) << 40;
        packageFiles_->roomBytes = UINT64_MAX;
        const auto before = olderSave(package);
        auto first = addMedia(std::string("a-") + c.name, 4000);
        auto second = addMedia(std::string("b-") + c.name, 4000);
        mediaFiles_->roomBytes = c.mediaRoom;
        packageFiles_->roomBytes = c.packageRoom;
        EXPECT_FALSE(document_.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        const auto after = documentTreeContents(package);
        // Media files copied before the disk filled may stay (whole, unreferenced); all else is as it was.
        for (const auto& [relative, bytes] : before) {
            ASSERT_TRUE(after.contains(relative)) << relative;
            EXPECT_EQ(after.at(relative), bytes) << relative;
        }
        for (const auto& [relative, bytes] : after) {
            if (!before.contains(relative)) {
                EXPECT_EQ(relative.rfind("media/", 0), 0u) << relative;
            }
        }
        EXPECT_FALSE(document_.objectsContainer()->extractionInterrupted());

        // With room again the same document saves, and opens with every file.
        mediaFiles_->roomBytes = UINT64_MAX;
        mediaFiles_->freeBytes = std::uint64_t(1) << 40;
        packageFiles_->roomBytes = UINT64_MAX;
        ASSERT_TRUE(document_.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        CompositionDocument reopened;
        reopened.setSharedMediaManager(&media_);
        ASSERT_TRUE(reopened.readFromURL(package.string()).ok());
        for (const auto& entry : media_.entriesForDocument(&reopened))
            EXPECT_FALSE(entry->isMissing());
        EXPECT_EQ(reopened.objectsContainer()->canvasSize(), Size(640, 480));
        reopened.tearDown();
    }
}

TEST_F(PackageSaveFault, AFailedFirstSaveLeavesNoPackageAndNoTemporary) {
    addMedia("first.bin", 3000);
    packageFiles_->roomBytes = 10;
    const docfs::path package = folder_ / "new.vistrelcomposition";
    EXPECT_FALSE(document_.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
    EXPECT_FALSE(docfs::exists(package));
    for (const auto& file : docfs::directory_iterator(folder_))
        EXPECT_NE(file.path().filename().string().rfind(kPackageTemporaryPrefix, 0), 0u) << file.path();
    EXPECT_FALSE(document_.fileURL());
    for (const auto& entry : media_.entriesForDocument(&document_))
        EXPECT_FALSE(entry->hasBeenSerialized()) << "entries do not point at the removed copy";

    // Something that is not a package at the path is never replaced.
    const docfs::path plain = folder_ / "plain.vistrelcomposition";
    std::ofstream(plain) << "a file";
    packageFiles_->roomBytes = UINT64_MAX;
    EXPECT_FALSE(document_.writeSafelyToURL(plain.string(), PackageIcon::Skip).ok());
    EXPECT_EQ(documentFileBytes(plain).size(), 6u);
}

// Notes, in order, which folders were made durable (with the media files they held) and which
// files were written.
class RecordingPackageFiles : public DocumentPackageFiles {
public:
    std::vector<std::string> events;
    Status syncTree(const std::filesystem::path& path) override {
        std::string event = "sync " + path.filename().string();
        std::error_code error;
        for (docfs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
            event += " " + it->path().extension().string();
        events.push_back(event);
        return DocumentPackageFiles::syncTree(path);
    }
    Status writeFileAtomically(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes) override {
        events.push_back("write " + path.filename().string());
        return DocumentPackageFiles::writeFileAtomically(path, bytes);
    }
};

TEST_F(PackageSaveFault, MediaAreOnTheDiskBeforeTheCompositionNamesThem) {
    auto files = std::make_shared<RecordingPackageFiles>();
    document_.setPackageFiles(files);
    addMedia("durable.bin", 500);
    ASSERT_TRUE(
        document_.writeSafelyToURL((folder_ / "d.vistrelcomposition").string(), PackageIcon::Skip).ok());
    const auto sync = std::find(files->events.begin(), files->events.end(), "sync media .bin");
    const auto write = std::find(files->events.begin(), files->events.end(), "write composition");
    ASSERT_NE(write, files->events.end());
    EXPECT_LT(sync, write) << "the copy is flushed before the composition names it";
    document_.setPackageFiles(packageFiles_);
}

TEST_F(PackageSaveFault, SavingOverAnotherPackageReplacesItWhole) {
    const docfs::path other = folder_ / "other.vistrelcomposition";
    {
        CompositionDocument previous;
        previous.setSharedMediaManager(&media_);
        const docfs::path path = folder_ / "previous.bin";
        std::ofstream(path) << "the previous document's recording";
        media_
            .entryForResourceWithFileSystemPath(path.string(), &previous,
                                                SharedMediaManager::ResourceCopy::None)
            ->addToUsageCounter(1);
        ASSERT_TRUE(previous.writeSafelyToURL(other.string(), PackageIcon::Skip).ok());
        std::ofstream(other / "GeneratedSpeech.txt") << "a stray file of the previous package";
        previous.tearDown();
    }
    addMedia("mine.bin", 300);
    ASSERT_TRUE(document_.writeSafelyToURL(other.string(), PackageIcon::Skip).ok());
    std::vector<std::string> inPackage;
    for (const auto& [relative, bytes] : documentTreeContents(other))
        inPackage.push_back(relative.rfind("media/", 0) == 0 ? "media/" + std::to_string(bytes.size())
                                                             : relative);
    EXPECT_EQ(inPackage, (std::vector<std::string>{"composition", "media/300", "mediaClean"}));
    for (const auto& file : docfs::directory_iterator(folder_))
        EXPECT_NE(file.path().filename().string().rfind(kPackageTemporaryPrefix, 0), 0u) << file.path();

    // A folder that holds something other than a package is never replaced; an empty one is filled.
    const docfs::path folder = folder_ / "photos.vistrelcomposition";
    docfs::create_directories(folder);
    std::ofstream(folder / "photo.jpg") << "a photo";
    EXPECT_FALSE(document_.writeSafelyToURL(folder.string(), PackageIcon::Skip).ok());
    EXPECT_EQ(documentTreeContents(folder).size(), 1u);
    const docfs::path empty = folder_ / "empty.vistrelcomposition";
    docfs::create_directories(empty);
    EXPECT_TRUE(document_.writeSafelyToURL(empty.string(), PackageIcon::Skip).ok());
    EXPECT_TRUE(docfs::exists(empty / "composition"));
}

TEST_F(PackageSaveFault, ACancelledSaveIsUndoneAtEveryStep) {
    const docfs::path older = folder_ / "older.vistrelcomposition";
    const auto before = olderSave(older);
    addMedia("cancelled.bin", 2000);
    const docfs::path fresh = folder_ / "fresh.vistrelcomposition";
    // Cancelled at the first, second, ... question, until a save finishes before it is asked.
    for (int cancelAt = 1;; ++cancelAt) {
        SCOPED_TRACE(cancelAt);
        int asked = 0;
        document_.setSaveCancellation([&] { return ++asked >= cancelAt; });
        const Status inPlace = document_.writeSafelyToURL(older.string(), PackageIcon::Skip);
        if (inPlace.ok()) break;
        EXPECT_NE(inPlace.error().find("cancelled"), std::string::npos) << inPlace.error();
        const auto after = documentTreeContents(older);
        for (const auto& [relative, bytes] : before)
            EXPECT_EQ(after.at(relative), bytes) << relative;
        asked = 0;
        EXPECT_FALSE(document_.writeSafelyToURL(fresh.string(), PackageIcon::Skip).ok());
        for (const auto& file : docfs::directory_iterator(folder_)) {
            const std::string name = file.path().filename().string();
            EXPECT_NE(name.rfind(kPackageTemporaryPrefix, 0), 0u) << name;
            EXPECT_NE(name, fresh.filename().string());
        }
        ASSERT_LT(cancelAt, 20) << "a save asks a handful of times";
    }
    document_.setSaveCancellation(nullptr);
}

TEST_F(PackageSaveFault, LeftoversOfKilledSavesGoAtTheNextSave) {
    // One a killed save left an hour ago (with a media copy inside), and one that another save
    // is still writing.
    const docfs::path stale = folder_ / (std::string(kPackageTemporaryPrefix) + "1111-a.vistrelcomposition");
    const docfs::path live = folder_ / (std::string(kPackageTemporaryPrefix) + "2222-b.vistrelcomposition");
    for (const docfs::path& leftover : {stale, live}) {
        docfs::create_directories(leftover / "media");
        std::ofstream(leftover / "media" / "copy.bin") << "half a copy";
    }
    const auto past = docfs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const docfs::path& path : {stale / "media" / "copy.bin", stale / "media", stale})
        docfs::last_write_time(path, past);
    docfs::last_write_time(live / "media" / "copy.bin",
                           docfs::file_time_type::clock::now() + std::chrono::hours(1));

    addMedia("kept.bin", 100);
    ASSERT_TRUE(
        document_.writeSafelyToURL((folder_ / "c.vistrelcomposition").string(), PackageIcon::Skip).ok());
    EXPECT_FALSE(docfs::exists(stale));
    EXPECT_TRUE(docfs::exists(live / "media" / "copy.bin")) << "another save's work is left alone";
}

} // namespace
} // namespace vtl::test
