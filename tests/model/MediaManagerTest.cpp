#include "model/CompositionDocumentServices.h"
#include "model/DocumentMediaManager.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "support/ModelFixture.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;

class TestDocument : public CompositionDocumentServices {
public:
    explicit TestDocument(std::string id)
        : id_(std::move(id)) {}
    CompositionUndoManager* undoManager() override { return nullptr; }
    std::optional<std::string> packagePath() const override { return package; }
    std::string identifier() const override { return id_; }
    std::optional<std::string> package;

private:
    std::string id_;
};

// File operations whose copies fail as on a full disk.
class FullDiskFiles : public MediaFileOperations {
public:
    Status copy(const fs::path&, const fs::path& to) override {
        return fail("No space left on device writing " + to.string() + ".");
    }
};

// Sizes and free space given by the test, for the free-space rule.
class SizedFiles : public MediaFileOperations {
public:
    uint64_t sizeOfResourceAtPath(const fs::path& path) const override {
        auto found = sizes.find(path.string());
        return found == sizes.end() ? 0 : found->second;
    }
    std::optional<uint64_t> freeBytesOfVolume(const fs::path&) const override { return freeBytes; }
    std::map<std::string, uint64_t> sizes;
    uint64_t freeBytes = 0;
};

class MediaManagers : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("media-test-" + makeGloballyUniqueString());
        fs::create_directories(root / "sources");
        manager = std::make_unique<SharedMediaManager>(root / "TemporaryResources");
    }
    void TearDown() override { fs::remove_all(root); }

    std::string makeFile(const std::string& name, const std::string& content = "frames") {
        const fs::path path = root / "sources" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }
    // A saved document: its package with the media folder.
    void save(TestDocument& document, const std::string& name) {
        document.package = (root / name).string();
        fs::create_directories(root / name / "media");
    }

    fs::path root;
    std::unique_ptr<SharedMediaManager> manager;
    TestDocument document{"doc-1"};
    TestDocument other{"doc-2"};
};

TEST_F(MediaManagers, EntriesAreSharedWithinADocumentOnly) {
    const std::string movie = makeFile("movie.mov");
    auto first = manager->entryForResourceWithFileSystemPath(movie, &document);
    EXPECT_EQ(manager->entryForResourceWithFileSystemPath(movie, &document), first);
    auto second = manager->entryForResourceWithFileSystemPath(movie, &other);
    EXPECT_NE(second, first);
    EXPECT_NE(second->relativePathFromDocumentRoot(), first->relativePathFromDocumentRoot());
    EXPECT_EQ(fs::path(first->relativePathFromDocumentRoot()).extension(), ".mov");
    EXPECT_EQ(manager->entriesForDocument(&document).size(), 1u);
}

TEST_F(MediaManagers, UsageCountsOverCopyDeleteAndUndo) {
    save(document, "Doc.vtl");
    const std::string movie = makeFile("movie.mov");
    auto entry = manager->entryForResourceWithFileSystemPath(movie, &document);
    ASSERT_TRUE(entry->hasBeenSerialized()) << "a saved document copies at once";
    const fs::path inPackage = entry->dataPath();
    EXPECT_TRUE(fs::exists(inPackage));
    EXPECT_TRUE(pathIsInsideFolder(inPackage, root / "Doc.vtl" / "media"));

    entry->addToUsageCounter(1);       // the object
    entry->addToUsageCounter(1);       // its copy
    manager->removedMediaEntry(entry); // the copy is deleted
    EXPECT_EQ(entry->usageCounter(), 1u);
    EXPECT_TRUE(manager->cleanUpBasket(&document).empty());
    manager->removedMediaEntry(entry); // the object is deleted
    EXPECT_EQ(entry->usageCounter(), 0u);
    EXPECT_EQ(manager->cleanUpBasket(&document), std::vector<std::string>{inPackage.string()});
    EXPECT_FALSE(manager->isRegistered(entry.get()));

    entry->addToUsageCounter(1); // the deletion is undone
    EXPECT_TRUE(manager->cleanUpBasket(&document).empty());
    EXPECT_TRUE(manager->isRegistered(entry.get()));
    ASSERT_TRUE(manager->cleanUpResourcesForDocument(&document).ok());
    EXPECT_TRUE(fs::exists(inPackage)) << "a file in use is never deleted";

    manager->removedMediaEntry(entry);
    manager->removedMediaEntry(entry); // not registered any more: ignored
    EXPECT_EQ(entry->addToUsageCounter(-1), 0u) << "a counter at 0 stays 0";
    ASSERT_TRUE(manager->cleanUpResourcesForDocument(&document).ok());
    EXPECT_FALSE(fs::exists(inPackage)) << "reaching zero frees the file at close";
    EXPECT_TRUE(fs::exists(movie)) << "the imported original is not the document's to delete";
}

TEST_F(MediaManagers, FilesInsideARecordingPackageFreeThePackageWhenItIsUnused) {
    save(document, "Doc.vtl");
    const std::string recording = makeFile("capture.vtlrec/vtldata");
    auto package =
        manager->entryForResourceWithFileSystemPath(fs::path(recording).parent_path().string(), &document);
    auto inside = manager->entryForResourceWithRelativePath("vtldata", package, &document);
    auto sibling = manager->entryForResourceWithRelativePath("mouse", package, &document);
    inside->addToUsageCounter(1);
    sibling->addToUsageCounter(1);
    EXPECT_EQ(package->usageCounter(), 2u) << "the package counts the uses of its files";
    manager->removedMediaEntry(inside);
    EXPECT_TRUE(manager->cleanUpBasket(&document).empty()) << "the package is still used";
    manager->removedMediaEntry(sibling);
    EXPECT_EQ(manager->cleanUpBasket(&document), std::vector<std::string>{package->dataPath()});
}

TEST_F(MediaManagers, DeletionIsConfinedToThePackageAndTheTemporaryFolder) {
    save(document, "Doc.vtl");
    const std::string sibling = makeFile("../Doc.vtl2/media/keep.mov");
    const std::string outside = makeFile("keep.mov");
    fs::create_directories(root / "TemporaryResources");
    const std::string temporary = (root / "TemporaryResources" / "pasted.mov").string();
    std::ofstream(temporary) << "x";
    const std::string inside = (root / "Doc.vtl" / "media" / "old.mov").string();
    std::ofstream(inside) << "x";

    EXPECT_FALSE(manager->addToCleanUpBasket({inside, "/home/ann/Movies/holiday.mov"}, &document))
        << "a batch with a protected path is refused whole";
    EXPECT_TRUE(manager->cleanUpBasket(&document).empty());
    ASSERT_TRUE(manager->addToCleanUpBasket({sibling, outside, temporary, inside}, &document));
    ASSERT_TRUE(manager->cleanUpResourcesForDocument(&document).ok());
    EXPECT_TRUE(fs::exists(sibling)) << "a sibling folder whose name starts with the package's is untouched";
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(inside));

    struct Case {
        const char* path;
        const char* folder;
        bool inside;
    };
    const Case cases[] = {
        {"/a/pack/x", "/a/pack", true}, {"/a/pack2/x", "/a/pack", false},
        {"/a/pack", "/a/pack", false},  {"/a/pack/../other/x", "/a/pack", false},
        {"/a/pack/", "/a/pack", false}, {"/a/pack/b/c", "/a/pack/", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pathIsInsideFolder(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
}

TEST_F(MediaManagers, SavingReportsMissingOrUncopyableMedia) {
    const std::string movie = makeFile("movie.mov");
    const std::string sound = makeFile("sound.m4a");
    auto movieEntry = manager->entryForResourceWithFileSystemPath(movie, &document);
    auto soundEntry = manager->entryForResourceWithFileSystemPath(sound, &document);
    fs::create_directories(root / "Doc.vtl" / "media");
    const fs::path media = root / "Doc.vtl" / "media";
    EXPECT_TRUE(manager->needsToCopyMediaForDocument(&document, media));
    EXPECT_EQ(manager->sizeOfResourcesNeedingToBeSavedForDocument(&document, media), 12u);

    fs::remove(sound);
    Status missing = manager->writeMediaForDocument(&document, media);
    EXPECT_FALSE(missing.ok()) << "a save never succeeds with missing media";
    EXPECT_FALSE(soundEntry->hasBeenSerialized());
    EXPECT_TRUE(fs::exists(movie)) << "nothing is deleted";

    std::ofstream(sound) << "tone";
    const std::string plainFile = makeFile("not-a-folder");
    EXPECT_FALSE(manager->writeMediaForDocument(&document, fs::path(plainFile) / "media").ok())
        << "an unwritable target";

    SharedMediaManager fullDisk(root / "TemporaryResources", std::make_shared<FullDiskFiles>());
    auto entry = fullDisk.entryForResourceWithFileSystemPath(movie, &other);
    Status full = fullDisk.writeMediaForDocument(&other, media);
    EXPECT_FALSE(full.ok());
    EXPECT_NE(full.error().find("No space"), std::string::npos);
    EXPECT_FALSE(entry->hasBeenSerialized());
    EXPECT_TRUE(fs::exists(movie));

    ASSERT_TRUE(manager->writeMediaForDocument(&document, media).ok())
        << manager->writeMediaForDocument(&document, media).error();
    EXPECT_TRUE(fs::exists(media / movieEntry->relativePathFromDocumentRoot()));
    EXPECT_TRUE(movieEntry->hasBeenSerialized());
    EXPECT_FALSE(manager->needsToCopyMediaForDocument(&document, media));
    EXPECT_EQ(std::distance(fs::directory_iterator(media), fs::directory_iterator()), 2)
        << "no partial files are left behind";
}

TEST_F(MediaManagers, PastingMovesMediaThroughTheTemporaryFolder) {
    save(document, "Doc.vtl");
    auto entry = manager->entryForResourceWithFileSystemPath(makeFile("clip.mov"), &document);
    ASSERT_TRUE(entry->moveToTmp().ok());
    EXPECT_TRUE(entry->isInTmp());
    EXPECT_FALSE(entry->hasBeenSerialized());
    EXPECT_TRUE(pathIsInsideFolder(entry->fileSystemPath(), manager->temporaryResourcesFolder()));
    save(other, "Other.vtl");
    entry->setDocument(&other);
    ASSERT_TRUE(entry->copyToDocument().ok());
    EXPECT_FALSE(entry->isInTmp());
    EXPECT_TRUE(pathIsInsideFolder(entry->dataPath(), root / "Other.vtl"));
    EXPECT_FALSE(fs::exists(entry->fileSystemPath())) << "moved, not copied, out of the temporary folder";

    auto migrated = manager->migratedMediaEntry(entry, &document);
    ASSERT_NE(migrated, nullptr);
    EXPECT_NE(migrated, entry);
    EXPECT_EQ(migrated->fileSystemPath(), entry->dataPath());
    EXPECT_EQ(manager->migratedMediaEntry(migrated, &document), migrated);
    EXPECT_EQ(migrated->usageCounter(), 1u);
}

TEST_F(MediaManagers, FreeSpaceKeepsOneGigabyte) {
    auto files = std::make_shared<SizedFiles>();
    files->sizes = {{"/media/big.mov", 2'000'000'000}, {"/media/other.mov", 500'000'000}};
    files->freeBytes = 3'000'000'000;
    SharedMediaManager sized(root / "TemporaryResources", files);
    sized.entryForResourceWithFileSystemPath("/media/other.mov", &document);
    EXPECT_FALSE(sized.enoughFreeSpaceForDocument(&document, "/media/big.mov")) << "0.5 GB would remain";
    document.package = (root / "Doc.vtl").string();
    EXPECT_FALSE(sized.enoughFreeSpaceForDocument(&document, "/media/big.mov")) << "exactly 1 GB is not more";
    files->freeBytes = 3'100'000'000;
    EXPECT_TRUE(sized.enoughFreeSpaceForDocument(&document, "/media/big.mov"));
}

TEST_F(MediaManagers, ArchivesOfEntriesAndOlderManagers) {
    registerVisualObjectClasses();
    auto package = manager->entryForResourceWithFileSystemPath("/rec/capture.vtlrec", &document,
                                                               SharedMediaManager::ResourceCopy::None);
    auto inside = manager->entryForResourceWithRelativePath("vtldata", package, &document);
    inside->addToUsageCounter(2);
    auto older = std::make_shared<DocumentMediaManager>(&document);
    older->mutableMediaEntries() = {package, inside};
    auto bytes = KeyedArchiver::archivedData(older);
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    auto decoded = KeyedUnarchiver::unarchive<DocumentMediaManager>(bytes.value());
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    ASSERT_EQ(decoded.value()->mediaEntries().size(), 2u);
    const auto& copy = decoded.value()->mediaEntries()[1];
    EXPECT_EQ(copy->superEntry(), decoded.value()->mediaEntries()[0])
        << "the super entry is shared, not duplicated";
    EXPECT_EQ(copy->usageCounter(), 2u);
    EXPECT_EQ(copy->relativePathFromSuperEntry(), "vtldata");
    EXPECT_EQ(copy->fileSystemPath(), "/rec/capture.vtlrec");
    EXPECT_FALSE(copy->hasBeenSerialized());

    manager->migrateMediaFromDocumentMediaManager(*decoded.value(), &other);
    EXPECT_EQ(manager->entriesForDocument(&other).size(), 2u);

    class OlderEntry : public Archivable {
    public:
        std::string archivedClassName() const override { return "CompositionMediaEntry"; }
        void encodeWithCoder(KeyedArchiver& coder) const override {
            coder.encodeString("key_fileSystemPath", "/old/movie.mov");
            coder.encodeString("key_relativeDocumentPath", "ABC.mov");
        }
        void initWithCoder(KeyedUnarchiver&) override {}
    };
    auto olderBytes = KeyedArchiver::archivedData(std::make_shared<OlderEntry>());
    auto olderEntry = KeyedUnarchiver::unarchive<CompositionMediaEntry>(olderBytes.value());
    ASSERT_TRUE(olderEntry.ok()) << olderEntry.error();
    EXPECT_TRUE(olderEntry.value()->hasBeenSerialized()) << "entries of older archives are in the package";
}

// Paths read from a damaged document stay inside the package: saving writes, and clean-up deletes,
// only there.
TEST_F(MediaManagers, DecodedEntryPathsStayInsideThePackage) {
    registerVisualObjectClasses();
    struct Case {
        std::string relativeDocumentPath;
        std::string relativePathFromSuperEntry;
        bool kept;
    };
    const Case cases[] = {
        {"ABC.mov", "", true},
        {"sub/ABC.mov", "inner/data", true},
        {"", "", false},
        {"/abs/escape.mov", "/etc", false},
        {"../../escape.mov", "../up", false},
        {"a/../../b.mov", "x/../../y", false},
    };
    save(document, "Doc.vtl");
    const fs::path media = root / "Doc.vtl" / "media";
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.relativeDocumentPath + "\"");
        class DamagedEntry : public Archivable {
        public:
            explicit DamagedEntry(const Case& c)
                : case_(c) {}
            std::string archivedClassName() const override { return "CompositionMediaEntry"; }
            void encodeWithCoder(KeyedArchiver& coder) const override {
                coder.encodeString("key_fileSystemPath", "/old/movie.mov");
                coder.encodeString("key_relativeDocumentPath", case_.relativeDocumentPath);
                coder.encodeString("key_relativePathFromSuperEntry", case_.relativePathFromSuperEntry);
            }
            void initWithCoder(KeyedUnarchiver&) override {}
            const Case& case_;
        };
        auto bytes = KeyedArchiver::archivedData(std::make_shared<DamagedEntry>(c));
        ASSERT_TRUE(bytes.ok()) << bytes.error();
        auto entry = KeyedUnarchiver::unarchive<CompositionMediaEntry>(bytes.value());
        ASSERT_TRUE(entry.ok()) << entry.error();
        entry.value()->setDocument(&document);
        const std::string relative = entry.value()->relativePathFromDocumentRoot();
        if (c.kept) {
            EXPECT_EQ(relative, c.relativeDocumentPath);
            EXPECT_EQ(entry.value()->relativePathFromSuperEntry(), c.relativePathFromSuperEntry);
        } else {
            EXPECT_EQ(fs::path(relative).extension(), ".mov");
            EXPECT_TRUE(entry.value()->relativePathFromSuperEntry().empty());
        }
        EXPECT_TRUE(pathIsInsideFolder(entry.value()->dataPath(), media)) << entry.value()->dataPath();
        EXPECT_TRUE(pathIsInsideFolder(media / relative, media)) << relative;
    }
}

} // namespace
} // namespace vtl
