// A save killed at random moments: the package saved over opens afterwards, as the older or the
// newer save, with every media file it names complete.

#include "DocumentTestSupport.h"
#include "model/CompositionMediaEntry.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"

#include <csignal>
#include <fcntl.h>
#include <random>
#include <spawn.h>

extern char** environ;

namespace vtl::test {
namespace {

#ifdef VISTREL_DOCUMENT_TOOL

class PackageKill : public ::testing::Test {
protected:
    PackageKill()
        : folder_(documentScratchFolder("kill"))
        , media_(folder_ / "TemporaryResources") {}
    ~PackageKill() override { docfs::remove_all(folder_); }

    // A package holding the media files (name, size), answered with the sizes by media name.
    void savePackage(const docfs::path& package,
                     const std::vector<std::pair<std::string, std::size_t>>& files, Size canvas) {
        CompositionDocument document;
        document.setSharedMediaManager(&media_);
        document.objectsContainer()->setCanvasSize(canvas);
        std::mt19937 random(7);
        for (const auto& [name, size] : files) {
            const docfs::path path = folder_ / name;
            std::string bytes(size, '\0');
            for (char& byte : bytes)
                byte = char(random());
            std::ofstream(path, std::ios::binary) << bytes;
            auto entry = media_.entryForResourceWithFileSystemPath(path.string(), &document,
                                                                   SharedMediaManager::ResourceCopy::None);
            entry->addToUsageCounter(1);
            sizes_[entry->relativePathFromDocumentRoot()] = size;
        }
        ASSERT_TRUE(document.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
        document.tearDown();
    }

    pid_t startToolSave(const docfs::path& from, const docfs::path& to) {
        const std::string tool = VISTREL_DOCUMENT_TOOL;
        std::vector<std::string> arguments = {tool, from.string(), "--save", to.string()};
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t child = -1;
        EXPECT_EQ(posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return child;
    }

    // The tool's open and save in a child of this process: starting the sanitized tool takes a
    // second each time, which would make a hundred kills fall mostly before the save begins.
    pid_t startForkedSave(const docfs::path& from, const docfs::path& to) {
        const pid_t child = ::fork();
        if (child != 0) return child;
        setLogSink([](std::string_view) {});
        SharedMediaManager media(folder_ / "ChildResources");
        CompositionDocument document;
        document.setSharedMediaManager(&media);
        if (!document.readFromURL(from.string()).ok()) ::_exit(2);
        ::_exit(document.writeSafelyToURL(to.string(), PackageIcon::Skip).ok() ? 0 : 1);
    }

    static int waitFor(pid_t child) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return status;
    }

    docfs::path folder_;
    SharedMediaManager media_;
    std::map<std::string, std::size_t> sizes_;
};

TEST_F(PackageKill, AKilledSaveLeavesAPackageThatOpensWhole) {
    const docfs::path newer = folder_ / "a.vistrelcomposition";
    const docfs::path older = folder_ / "older.vistrelcomposition";
    const docfs::path target = folder_ / "b.vistrelcomposition";
    savePackage(newer, {{"one.bin", 2 << 20}, {"two.bin", 1 << 20}, {"three.bin", 1 << 20}}, {800, 600});
    savePackage(older, {{"old.bin", 100 << 10}}, {320, 240});
    const std::vector<std::uint8_t> olderComposition = documentFileBytes(older / "composition");

    // The tool's save, and how long the same save takes in a child.
    docfs::copy(older, target, docfs::copy_options::recursive);
    ASSERT_EQ(WEXITSTATUS(waitFor(startToolSave(newer, target))), 0);
    const std::vector<std::uint8_t> newerComposition = documentFileBytes(target / "composition");
    ASSERT_NE(newerComposition, olderComposition);
    docfs::remove_all(target);
    docfs::copy(older, target, docfs::copy_options::recursive);
    const double started = monotonicSeconds();
    ASSERT_EQ(WEXITSTATUS(waitFor(startForkedSave(newer, target))), 0);
    const double saveSeconds = monotonicSeconds() - started;
    ASSERT_EQ(documentFileBytes(target / "composition"), newerComposition);

    std::mt19937 random(2026);
    std::uniform_real_distribution<double> moment(0, saveSeconds);
    int olderSeen = 0, newerSeen = 0;
    for (int kill = 0; kill < 100; ++kill) {
        SCOPED_TRACE(kill);
        docfs::remove_all(target);
        docfs::copy(older, target, docfs::copy_options::recursive);
        const pid_t child = startForkedSave(newer, target);
        ASSERT_GT(child, 0);
        const double wait = moment(random);
        ::usleep(useconds_t(wait * 1e6));
        ::kill(child, SIGKILL);
        waitFor(child);

        const std::vector<std::uint8_t> composition = documentFileBytes(target / "composition");
        const bool isOlder = composition == olderComposition, isNewer = composition == newerComposition;
        ASSERT_TRUE(isOlder || isNewer) << "the composition is one of the two saves, whole";
        (isOlder ? olderSeen : newerSeen)++;
        CompositionDocument reopened;
        reopened.setSharedMediaManager(&media_);
        ASSERT_TRUE(reopened.readFromURL(target.string()).ok());
        const MediaEntryList entries = media_.entriesForDocument(&reopened);
        EXPECT_EQ(entries.size(), isOlder ? 1u : 3u);
        for (const auto& entry : entries) {
            EXPECT_FALSE(entry->isMissing()) << entry->relativePathFromDocumentRoot();
            EXPECT_EQ(docfs::file_size(entry->dataPath()), sizes_.at(entry->relativePathFromDocumentRoot()));
        }
        reopened.tearDown();
    }
    EXPECT_GT(olderSeen, 0);
    EXPECT_GT(newerSeen, 0);
}

#endif

} // namespace
} // namespace vtl::test
