// Packages with symbolic links where their own folders and files belong: opening and saving never
// read, write or remove anything through a link that leaves the package, and a package that is
// itself a link is refused.

#include "DocumentTestSupport.h"
#include "document/DocumentPackage.h"
#include "model/CompositionMediaEntry.h"
#include "model/SharedMediaManager.h"

#include <set>

namespace vtl::test {
namespace {

// Every name in a folder tree (links listed, not followed) with the bytes of its plain files.
std::map<std::string, std::string> linkTestListing(const docfs::path& folder) {
    std::map<std::string, std::string> listing;
    std::error_code error;
    for (docfs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = docfs::relative(it->path(), folder).string();
        if (it->is_symlink())
            listing[name] = "link to " + docfs::read_symlink(it->path()).string();
        else if (it->is_regular_file()) {
            const std::vector<std::uint8_t> bytes = documentFileBytes(it->path());
            listing[name] = std::string(bytes.begin(), bytes.end());
        } else
            listing[name] = "folder";
    }
    return listing;
}

class PackageLink : public ::testing::Test {
protected:
    PackageLink()
        : folder_(documentScratchFolder("link"))
        , outside_(folder_ / "elsewhere")
        , media_(folder_ / "TemporaryResources") {
        docfs::create_directories(outside_);
        std::ofstream(outside_ / "holiday.mov") << "a movie of the user's";
        std::ofstream(outside_ / "notes.txt") << "the user's notes";
    }
    ~PackageLink() override {
        for (auto& document : documents_)
            document->tearDown();
        docfs::remove_all(folder_);
    }

    CompositionDocument& newDocument() {
        documents_.push_back(std::make_unique<CompositionDocument>());
        documents_.back()->setSharedMediaManager(&media_);
        return *documents_.back();
    }

    // A media file used by the document, not yet in any package.
    void addMedia(CompositionDocument& document, const std::string& name) {
        const docfs::path path = folder_ / name;
        std::ofstream(path) << "media " << name;
        media_
            .entryForResourceWithFileSystemPath(path.string(), &document,
                                                SharedMediaManager::ResourceCopy::None)
            ->addToUsageCounter(1);
    }

    // A saved package holding one media file.
    docfs::path savedPackage() {
        CompositionDocument& document = newDocument();
        addMedia(document, "first.bin");
        const docfs::path package = folder_ / "linked.vistrelcomposition";
        EXPECT_TRUE(document.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        return package;
    }

    // Replaces the package entry with a link to the outside folder.
    void linkOut(const docfs::path& package, const char* name) {
        docfs::remove_all(package / name);
        docfs::create_directory_symlink(outside_, package / name);
    }

    docfs::path folder_;
    docfs::path outside_;
    SharedMediaManager media_;
    std::vector<std::unique_ptr<CompositionDocument>> documents_;
};

TEST_F(PackageLink, OwnFoldersThatAreLinksAreNeitherFollowedNorWrittenThrough) {
    for (const char* name : {package::speechFolderName, package::mediaFolderName}) {
        SCOPED_TRACE(name);
        const docfs::path package = savedPackage();
        linkOut(package, name);
        const auto outsideBefore = linkTestListing(outside_);

        CompositionDocument& document = newDocument();
        ASSERT_TRUE(document.readFromURL(package.string()).ok());
        EXPECT_EQ(linkTestListing(outside_), outsideBefore) << "opening touched the linked folder";
        const MediaEntryList entries = media_.entriesForDocument(&document);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0]->isMissing(), std::string(name) == package::mediaFolderName)
            << "media behind a link count as missing";
        EXPECT_EQ(document.generatedSpeechBasePath().rfind(package.string(), 0) == 0,
                  std::string(name) != package::speechFolderName)
            << "speech is not kept behind a link";

        // Saving in place with new media: they land in the package, not behind the link.
        addMedia(document, "second.bin");
        ASSERT_TRUE(document.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        EXPECT_EQ(linkTestListing(outside_), outsideBefore) << "saving wrote through the link";
        EXPECT_TRUE(docfs::is_directory(docfs::symlink_status(package / name)));
        EXPECT_EQ(docfs::path(document.generatedSpeechBasePath()), package / package::speechFolderName);
        std::set<std::string> inMedia;
        for (const auto& file : docfs::directory_iterator(package / package::mediaFolderName))
            inMedia.insert(file.path().extension().string());
        EXPECT_TRUE(inMedia.contains(".bin"));

        for (auto& opened : documents_)
            opened->tearDown();
        documents_.clear();
        docfs::remove_all(package);
    }
}

TEST_F(PackageLink, LinksInsideMediaAreNotFollowed) {
    const docfs::path package = savedPackage();
    const docfs::path media = package / package::mediaFolderName;
    const docfs::path copy = *docfs::directory_iterator(media);
    docfs::remove(copy);
    docfs::create_symlink(outside_ / "holiday.mov", copy);
    docfs::create_symlink(outside_, media / "folder.bin");
    const auto outsideBefore = linkTestListing(outside_);

    CompositionDocument& document = newDocument();
    ASSERT_TRUE(document.readFromURL(package.string()).ok());
    ASSERT_EQ(media_.entriesForDocument(&document).size(), 1u);
    EXPECT_TRUE(media_.entriesForDocument(&document)[0]->isMissing());
    addMedia(document, "second.bin");
    ASSERT_TRUE(document.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
    const docfs::path elsewhere = folder_ / "elsewhere.vistrelcomposition";
    ASSERT_TRUE(document.writeSafelyToURL(elsewhere.string(), PackageIcon::Skip).ok());
    document.tearDown();
    EXPECT_EQ(linkTestListing(outside_), outsideBefore);
    for (const auto& [name, contents] : linkTestListing(elsewhere))
        EXPECT_EQ(contents.find("the user's"), std::string::npos) << name << " came from outside";
}

TEST_F(PackageLink, APackageThatIsALinkIsRefused) {
    const docfs::path real = savedPackage();
    const docfs::path link = folder_ / "link.vistrelcomposition";
    docfs::create_directory_symlink(real, link);
    const auto before = linkTestListing(real);

    CompositionDocument& document = newDocument();
    const Status read = document.readFromURL(link.string());
    ASSERT_FALSE(read.ok());
    EXPECT_NE(read.error().find("link"), std::string::npos) << read.error();
    ASSERT_TRUE(document.lastReadError());
    EXPECT_EQ(document.lastReadError()->failureReasonKey, DocumentError::brokenKey);

    CompositionDocument& other = newDocument();
    addMedia(other, "other.bin");
    const Status saved = other.writeSafelyToURL(link.string(), PackageIcon::Skip);
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.error().find("link"), std::string::npos) << saved.error();
    EXPECT_EQ(linkTestListing(real), before);

    // A "composition" file that is a link is not read either.
    const docfs::path second = folder_ / "second.vistrelcomposition";
    docfs::create_directory(second);
    docfs::create_symlink(real / package::compositionFileName, second / package::compositionFileName);
    std::ofstream(second / package::mediaCleanFileName) << "";
    CompositionDocument& third = newDocument();
    EXPECT_FALSE(third.readFromURL(second.string()).ok());
}

} // namespace
} // namespace vtl::test
