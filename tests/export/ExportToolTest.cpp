// The export tool: a recording package to H.264 and ProRes movies with the options applied, and
// wrong arguments or unreadable input failing with one line and their exit status.

#include "MediaFixtures.h"
#include "MovieExporterTestSupport.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "support/ToolRun.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

#ifdef VISTREL_EXPORT_TOOL

ToolRun runExportTool(const std::string& arguments) {
    return runTool(VISTREL_EXPORT_TOOL, arguments);
}

class ExportTool : public ::testing::Test {
protected:
    ExportTool()
        : folder_(fs::path(scratchFolder()) / "export-tool") {
        fs::create_directories(folder_);
    }
    ~ExportTool() override { fs::remove_all(folder_); }

    std::string recording() {
        const fs::path package = folder_ / "tool.vistrelRecord";
        if (!fs::exists(package)) {
            SyntheticRecordingSettings settings;
            settings.screen.width = 256;
            settings.screen.height = 160;
            settings.framesPerSecond = 10;
            settings.seconds = 1;
            auto written = writeSyntheticRecording(package.string(), settings);
            EXPECT_TRUE(written) << written.error();
        }
        return package.string();
    }

    fs::path folder_;
};

TEST_F(ExportTool, ExportsWithItsOptions) {
    struct Case {
        const char* output;
        const char* options;
        const char* codec;
        const char* width;
        const char* height;
        const char* rate;
    };
    const Case cases[] = {
        {"plain.m4v", "", "h264", "256", "160", "60/1"},
        {"options.mp4", "--size 128x80 --fps 25 --bitrate 400000", "h264", "128", "80", "25/1"},
        {"prores.mov", "--codec prores --fps 10", "prores", "256", "160", "10/1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string out = (folder_ / c.output).string();
        const ToolRun run = runExportTool("'" + recording() + "' '" + out + "' " + c.options);
        ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
        const ProbedMovie probed = probeExportedMovie(out);
        ASSERT_EQ(probed.streams.size(), 1u);
        EXPECT_EQ(probed.streams[0].at("codec_name"), c.codec);
        EXPECT_EQ(probed.streams[0].at("width"), c.width);
        EXPECT_EQ(probed.streams[0].at("height"), c.height);
        EXPECT_EQ(probed.streams[0].at("r_frame_rate"), c.rate);
    }
}

TEST_F(ExportTool, ASizeTheCodecCannotTakeIsRoundedAndSaidSo) {
    const std::string out = (folder_ / "odd.m4v").string();
    const ToolRun run = runExportTool("'" + recording() + "' '" + out + "' --size 7x5 --fps 5");
    ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find("vistrel-export: the size 7x5 was rounded to 6x4."), std::string::npos)
        << run.errorOutput;
    const ProbedMovie probed = probeExportedMovie(out);
    ASSERT_EQ(probed.streams.size(), 1u);
    EXPECT_EQ(probed.streams[0].at("width"), "6");
    EXPECT_EQ(probed.streams[0].at("height"), "4");
}

TEST_F(ExportTool, BadArgumentsAndInputFailWithOneLine) {
    const std::string input = "'" + recording() + "'";
    const std::string out = "'" + (folder_ / "out.m4v").string() + "'";
    struct Case {
        std::string arguments;
        int exitStatus;
    };
    const Case cases[] = {
        {"", 2},
        {input, 2},
        {input + " '" + (folder_ / "out.avi").string() + "'", 2},
        {input + " " + out + " --size 0x10", 2},
        {input + " " + out + " --size 12", 2},
        {input + " " + out + " --fps 0", 2},
        {input + " " + out + " --fps", 2},
        {input + " " + out + " --codec vp9", 2},
        {input + " " + out + " --codec prores", 2},
        {input + " " + out + " --bitrate fast", 2},
        {input + " " + out + " --speed 2", 2},
        {input + " " + out + " extra", 2},
        {"'" + (folder_ / "missing.vistrel").string() + "' " + out, 1},
        {"'" + (folder_ / "missing.vistrelRecord").string() + "' " + out, 1},
        {input + " '" + (folder_ / "no-folder" / "out.m4v").string() + "'", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = runExportTool(c.arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus);
        EXPECT_EQ(run.errorOutput.rfind("vistrel-export: ", 0), 0u) << run.errorOutput;
        EXPECT_EQ(std::count(run.errorOutput.begin(), run.errorOutput.end(), '\n'), 1) << run.errorOutput;
    }
    EXPECT_FALSE(fs::exists(folder_ / "out.m4v"));
}

TEST_F(ExportTool, AReadOnlyFolderIsCalledSo) {
    // A read-only file system of its own, mounted in a private namespace for the tool's run.
    const fs::path mountPoint = folder_ / "read-only";
    fs::create_directories(mountPoint);
    if (std::system("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no private mount namespaces here";
    const ToolRun run = runTool(
        "unshare",
        "-rm sh -c 'mount -t tmpfs -o ro,size=1m tmpfs \"$1\" && exec \"$2\" \"$3\" \"$1/out.m4v\"' sh '" +
            mountPoint.string() + "' '" + VISTREL_EXPORT_TOOL + "' '" + recording() + "'");
    EXPECT_EQ(run.exitStatus, 1) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find("read-only"), std::string::npos) << run.errorOutput;
    EXPECT_EQ(run.errorOutput.find("free space"), std::string::npos) << run.errorOutput;
}

// Names in the folder that start with the export's temporary prefix.
std::vector<std::string> exportTemporariesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".vistrel-exporting-", 0) == 0) names.push_back(name);
    }
    return names;
}

TEST_F(ExportTool, LeftoversOfKilledExportsGoAtTheNextExport) {
    // One a killed run left an hour ago; one that another run is still writing.
    const fs::path stale = folder_ / ".vistrel-exporting-AbC123-out.m4v";
    const fs::path live = folder_ / ".vistrel-exporting-XyZ789-other.m4v";
    std::ofstream(stale) << "half a movie";
    std::ofstream(live) << "a movie being written";
    fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::last_write_time(live, fs::file_time_type::clock::now() + std::chrono::hours(1));

    const ToolRun run = runExportTool("'" + recording() + "' '" + (folder_ / "out.m4v").string() + "'");
    ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
    EXPECT_EQ(exportTemporariesIn(folder_), std::vector<std::string>{live.filename().string()});
}

TEST_F(ExportTool, InterruptsCancelTheExportAndRemoveItsTemporary) {
    // Long enough that the signal lands while frames are written.
    const fs::path input = folder_ / "long.vistrelRecord";
    SyntheticRecordingSettings settings;
    settings.screen.width = 320;
    settings.screen.height = 240;
    settings.framesPerSecond = 10;
    settings.seconds = 20;
    ASSERT_TRUE(writeSyntheticRecording(input.string(), settings).ok());
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path out = folder_ / "interrupted.mov";
        const fs::path errors = folder_ / "errors.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string tool = VISTREL_EXPORT_TOOL;
        std::vector<std::string> arguments{tool,  input.string(), out.string(), "--fps",
                                           "240", "--codec",      "prores"};
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t child = -1;
        const int spawned = ::posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0);
        // Signalled once its temporary movie exists.
        for (int i = 0; i < 60000 && exportTemporariesIn(folder_).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(exportTemporariesIn(folder_).empty());
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        std::ifstream in(errors);
        const std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_NE(said.find("vistrel-export: interrupted; no movie was written."), std::string::npos) << said;
        EXPECT_TRUE(exportTemporariesIn(folder_).empty());
        EXPECT_FALSE(fs::exists(out));
    }
}

#endif

} // namespace
} // namespace vtl::test
