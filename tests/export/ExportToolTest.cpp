// The export tool: a recording package to H.264 and ProRes movies with the options applied, and
// wrong arguments or unreadable input failing with one line and their exit status.

#include "MediaFixtures.h"
#include "MovieExporterTestSupport.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "support/ToolRun.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

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

#endif

} // namespace
} // namespace vtl::test
