#include "TestPackage.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

#ifdef VISTREL_PACKAGE_DUMP

namespace vtl {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ToolRun runTool(const std::string& arguments) {
    const std::string base = ::testing::TempDir() + "/dump-tool-" + std::to_string(::getpid());
    const std::string command =
        std::string(VISTREL_PACKAGE_DUMP) + " " + arguments + " >" + base + ".out 2>" + base + ".err";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = slurp(base + ".out");
    run.err = slurp(base + ".err");
    std::filesystem::remove(base + ".out");
    std::filesystem::remove(base + ".err");
    return run;
}

std::string makePackage(const std::string& name, const std::function<void(test::TestPackage&)>& damage = {}) {
    test::TestPackage package(20, 270, 5);
    test::Picture picture = test::smoothPicture(20, 270, 1);
    package.addKeyFrame(picture, 0);
    test::copyBlock(test::smoothPicture(20, 270, 2), 0, 0, picture, 0, 0, 10, 10);
    package.addBlockFrame(picture, {{0, 20, 20, 10, 0, 5}}, {{0, 0, 10, 10}}, 20);
    package.addStopFrame(40);
    package.finish();
    if (damage) damage(package);
    const std::string path =
        ::testing::TempDir() + "/" + name + "-" + std::to_string(::getpid()) + ".vistrelRecord";
    std::filesystem::remove_all(path);
    package.writeTo(path);
    return path;
}

TEST(PackageDumpTool, ListsAndWritesFramesAndFailsWithOneLine) {
    const std::string good = makePackage("dump-good");
    const std::string cut =
        makePackage("dump-cut", [](test::TestPackage& p) { p.files()["vtlmeta"].resize(90); });
    const std::string png = ::testing::TempDir() + "/dump-frame.png";
    struct Case {
        std::string arguments;
        int status;
        std::string outContains;
    };
    const std::vector<Case> cases = {
        {good, 0, "frame 1: delta"},
        {good + " --frame 1 --png " + png, 0, "frame 1 written"},
        {good + " --time 0.04 --png " + png, 0, "frame 1 written"},
        {good + " --time 0.5 --png " + png, 1, ""},
        {good + " --frame 9 --png " + png, 1, ""},
        {good + "-missing", 1, ""},
        {cut, 1, ""},
        {cut + " --frame 0 --png " + png, 1, ""},
        {good + " --frame", 2, ""},
        {good + " --frame 1", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::filesystem::remove(png);
        const ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.outContains), std::string::npos) << run.out;
        if (c.status == 1) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        if (c.status == 0 && c.arguments.find("--png") != std::string::npos) {
            const std::string bytes = slurp(png);
            ASSERT_GT(bytes.size(), 24u);
            EXPECT_EQ(bytes.substr(1, 3), "PNG");
            EXPECT_EQ(static_cast<unsigned char>(bytes[19]), 20u); // width
            EXPECT_EQ(static_cast<unsigned char>(bytes[23]), 14u); // 270 = 0x10E: low byte
        }
    }
    std::filesystem::remove_all(good);
    std::filesystem::remove_all(cut);
    std::filesystem::remove(png);
}

TEST(PackageDumpTool, PrintsWhatTheTrackPrepared) {
    const std::string good = makePackage("dump-track");
    const auto event = [](double time, int type, int button) {
        return PropertyList(PlistDictionary{{"point", PropertyList("{4, 5}")},
                                            {"time", PropertyList(time)},
                                            {"eventType", PropertyList(type)},
                                            {"button", PropertyList(button)}});
    };
    const PropertyList mouse(PlistDictionary{
        {"mouseEvents", PropertyList(PlistArray{event(0.01, 1, 1), event(0.02, 1, 1), event(0.03, 10, -1)})},
        {"focusWindowRects",
         PropertyList(PlistArray{PropertyList(PlistDictionary{
             {"focusRect", PropertyList("{{1, 2}, {10, 20}}")}, {"time", PropertyList(0.0)}})})}});
    ASSERT_TRUE(mouse.writeToFile(good + "/mouse", PropertyListFormat::Xml));
    const ToolRun run = runTool(good + " --track");
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* line :
         {"clicks: 2", "click 1: time 0.020 s, button 1 at {4, 5}, count 2, ID 0", "wheel events: 1",
          "focus 0: time 0.000 s, {{1, 2}, {10, 20}}", "cursors: 0", "clicks to visualize: 2"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

    const ToolRun missing = runTool(good + "-missing --track");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;
    EXPECT_EQ(runTool(good + " --track --frame 1 --png x.png").status, 2);
    std::filesystem::remove_all(good);
}

// The summary reads each record it prints, not the file: a sparse "vtlmeta" of 4 GiB costs
// nothing to make and must cost the tool nothing either. The tool's peak is taken by a small
// program that starts it: a process started straight from this one counts this one's peak too
// (the kernel keeps the larger peak across exec).
TEST(PackageDumpTool, ASummaryReadsOnlyTheRecordsItPrints) {
    const std::string sparse = makePackage("dump-sparse");
    std::filesystem::resize_file(sparse + "/vtlmeta", std::uintmax_t{4} << 30);
    const std::string out = ::testing::TempDir() + "/dump-sparse-" + std::to_string(::getpid()) + ".out";
    const std::string peak = out + ".peak";
    const char* timer = "/usr/bin/time";
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {timer,          "-f",   "%M", "-o", peak.c_str(), VISTREL_PACKAGE_DUMP,
                          sparse.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&pid, timer, &actions, nullptr, const_cast<char* const*>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << slurp(out) << slurp(peak);
    EXPECT_NE(slurp(out).find("frame 1: delta"), std::string::npos) << slurp(out);
    const std::string peakText = slurp(peak);
    char* end = nullptr;
    const long kilobytes = std::strtol(peakText.c_str(), &end, 10);
    ASSERT_TRUE(end != peakText.c_str() && kilobytes > 0) << "peak: " << peakText;
    EXPECT_LT(kilobytes, 100 * 1024) << "kilobytes resident";
    std::filesystem::remove(out);
    std::filesystem::remove(peak);
    std::filesystem::remove_all(sparse);
}

} // namespace
} // namespace vtl

#endif
