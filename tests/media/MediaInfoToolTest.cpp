// vistrel-media-info: what it prints for a movie, and its exit statuses.

#include "MediaFixtures.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace vtl::test;

namespace {

struct ToolRun {
    int status;
    std::string output;
};

ToolRun runTool(const std::string& arguments) {
    const std::string command = std::string(VISTREL_MEDIA_INFO) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, {}};
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, count);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

} // namespace

TEST(MediaInfoTool, PrintsTracksDurationsAndSizes) {
    const ToolRun run = runTool("'" + mediaFixture("two-sizes") + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("duration: 900/600 (1.500 s)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("track 0: video h264, 640 x 480, 25/1 fps"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("track 1: video h264, 320 x 720, 30/1 fps"), std::string::npos);
    EXPECT_NE(run.output.find("title \"Camera\""), std::string::npos);
    EXPECT_NE(run.output.find("track 2: audio aac, 44100 Hz, 1 channel,"), std::string::npos);
    EXPECT_NE(run.output.find("language ger"), std::string::npos);
    EXPECT_NE(run.output.find("chapters: 0"), std::string::npos);
}

TEST(MediaInfoTool, ExitStatuses) {
    struct Case {
        std::string label, arguments;
        int status;
        std::string line;
    };
    const std::string missing = scratchFolder() + "/missing.mov";
    const std::string fifo = scratchFolder() + "/info-waiting.mov";
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Case cases[] = {
        {"no argument", "", 2, "usage: vistrel-media-info FILE\n"},
        {"two arguments", "a b", 2, "usage: vistrel-media-info FILE\n"},
        {"missing file", "'" + missing + "'", 1,
         "vistrel-media-info: " + missing + ": The file does not exist.\n"},
        {"fifo", "'" + fifo + "'", 1,
         "vistrel-media-info: " + fifo +
             ": The file is not a plain file (a fifo or a device) and is not read.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.output, c.line);
    }
}
