// The recording exporter: a recording package with its system sound and an additional movie
// becomes a composition of the recording and the sound tracks of at most two channels, exported
// at the recording's size; the save panel decides where the movie goes, or that none is made.

#include "MediaFixtures.h"
#include "MovieExporterTestSupport.h"
#include "export/ExportLanguageMix.h"
#include "export/VTLRecordingExporter.h"
#include "model/SharedMediaManager.h"
#include "objects/MouseVisualization.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionVistrelTrack.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

class RecordingExport : public ::testing::Test {
protected:
    RecordingExport()
        : folder_(fs::path(scratchFolder()) /
                  ("recording-export-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
        , media_(folder_ / "media") {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~RecordingExport() override { fs::remove_all(folder_); }

    // A 2 s recording of 320 × 200 at 10 frames a second, with the side files asked for.
    std::string recordingPackage(bool withSideFiles) {
        const fs::path package = folder_ / "Meeting.vistrelRecord";
        SyntheticRecordingSettings settings;
        settings.screen.width = 320;
        settings.screen.height = 200;
        settings.framesPerSecond = 10;
        settings.seconds = 2;
        auto written = writeSyntheticRecording(package.string(), settings);
        EXPECT_TRUE(written) << written.error();
        if (withSideFiles) {
            EXPECT_TRUE(runCommand("ffmpeg -v error -y -f lavfi -i 'sine=f=440:d=2' -c:a aac -ac 2 '" +
                                   (package / "system.m4a").string() + "'"));
            // Pictures, then a 5.1 and a stereo sound track.
            EXPECT_TRUE(runCommand(
                "ffmpeg -v error -y -f lavfi -i testsrc2=s=160x120:r=10:d=2 -f lavfi -i 'sine=f=300:d=2' "
                "-f lavfi -i 'sine=f=880:d=1.5' -map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast "
                "-pix_fmt yuv420p -c:a aac -filter:a:0 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -ac:a:1 "
                "2 '" +
                (package / "additionalAudioAndVideo.mov").string() + "'"));
        }
        return package.string();
    }

    fs::path folder_;
    SharedMediaManager media_;
};

TEST_F(RecordingExport, RecordingWithSideFilesBecomesOneMovie) {
    const std::string package = recordingPackage(true);
    VTLRecordingExporter exporter(package, media_);
    exporter.setExportPath((folder_ / "meeting.m4v").string());
    ASSERT_TRUE(exporter.beginExport());
    ASSERT_NE(exporter.movieExporter(), nullptr);
    const Status done = exporter.movieExporter()->waitUntilFinished();
    ASSERT_TRUE(done) << done.error();

    // The recording, the system sound and the stereo track of the additional movie; 5.1 skipped.
    const auto container = exporter.objectsContainer();
    ASSERT_TRUE(container);
    EXPECT_TRUE(container->isOffscreen());
    EXPECT_EQ(container->canvasSize(), Size(320, 200));
    int recordings = 0;
    std::vector<std::uint32_t> soundTracks;
    for (const auto& object : container->allObjects()) {
        if (std::dynamic_pointer_cast<CompositionVistrelTrack>(object)) ++recordings;
        if (auto sound = std::dynamic_pointer_cast<CompositionAudioTrackObject>(object)) {
            soundTracks.push_back(sound->trackIndex());
            EXPECT_EQ(sound->startTime(), 0);
        }
    }
    EXPECT_EQ(recordings, 1);
    EXPECT_EQ(soundTracks, (std::vector<std::uint32_t>{0, 2}));

    // Defaults: H.264 at 60 frames a second, the recording's size.
    const ProbedMovie probed = probeExportedMovie((folder_ / "meeting.m4v").string());
    ASSERT_GE(probed.streams.size(), 1u);
    EXPECT_EQ(probed.streams[0].at("codec_name"), "h264");
    EXPECT_EQ(probed.streams[0].at("width"), "320");
    EXPECT_EQ(probed.streams[0].at("height"), "200");
    EXPECT_EQ(probed.streams[0].at("r_frame_rate"), "60/1");
    if (languagesWithExportAudio(*container, container->languagesToExport()).empty())
        GTEST_SKIP() << "No sound is mixed for export in this build.";
    // Both sounds mixed into one AAC track.
    ASSERT_EQ(probed.streams.size(), 2u);
    EXPECT_EQ(probed.streams[1].at("codec_name"), "aac");
    EXPECT_EQ(probed.streams[1].at("channels"), "2");
    EXPECT_EQ(probed.streams[1].at("sample_rate"), "44100");
}

TEST_F(RecordingExport, RecordingAloneExportsPicturesOnly) {
    VTLRecordingExporter exporter(recordingPackage(false), media_);
    exporter.setExportPath((folder_ / "alone.m4v").string());
    ASSERT_TRUE(exporter.beginExport());
    ASSERT_TRUE(exporter.movieExporter()->waitUntilFinished());
    EXPECT_EQ(exporter.objectsContainer()->allObjects().size(), 1u);
    const ProbedMovie probed = probeExportedMovie((folder_ / "alone.m4v").string());
    ASSERT_EQ(probed.streams.size(), 1u);
    EXPECT_EQ(probed.streams[0].at("codec_type"), "video");
}

TEST_F(RecordingExport, TheRecordingsOwnMouseStyleIsAppliedAsOpeningApplies) {
    const std::string package = recordingPackage(false);
    auto style = makeModelObject<MouseVisualization>();
    style->visualizeMouseCursor = false;
    style->visualizesClicks = true;
    style->size = 37;
    style->duration = 0.75;
    const Result<PlistBytes> archived = style->archivedData();
    ASSERT_TRUE(archived) << archived.error();
    {
        std::ofstream out(fs::path(package) / "mouseVisualization", std::ios::binary);
        out.write(reinterpret_cast<const char*>(archived->data()), std::streamsize(archived->size()));
    }
    VTLRecordingExporter exporter(package, media_);
    exporter.setExportPath((folder_ / "styled.m4v").string());
    ASSERT_TRUE(exporter.beginExport());
    ASSERT_TRUE(exporter.movieExporter()->waitUntilFinished());
    std::shared_ptr<CompositionVistrelTrack> track;
    for (const auto& object : exporter.objectsContainer()->allObjects())
        if (auto found = std::dynamic_pointer_cast<CompositionVistrelTrack>(object)) track = found;
    ASSERT_TRUE(track);
    ASSERT_TRUE(track->mouseVisualizationStyle());
    EXPECT_FLOAT_EQ(track->mouseVisualizationStyle()->size, 37);
    EXPECT_DOUBLE_EQ(track->mouseVisualizationStyle()->duration, 0.75);
    EXPECT_EQ(track->recordMouseVisualization(), track->mouseVisualizationStyle());
    EXPECT_FALSE(track->visualizesMouseCursorAtTime(0.5));
    EXPECT_TRUE(track->visualizesMouseEventsAtTime(0.5));
}

TEST_F(RecordingExport, SavePanelChoosesThePathOrStopsTheExport) {
    const std::string package = recordingPackage(false);
    VTLRecordingExporter exporter(package, media_);
    exporter.setAskForPath(true);
    // Without a panel there is no way to ask.
    EXPECT_FALSE(exporter.beginExport());

    std::vector<std::string> offered;
    exporter.setSavePanel([&](const std::string& name) -> std::optional<std::string> {
        offered.push_back(name);
        return std::nullopt;
    });
    ASSERT_TRUE(exporter.beginExport());
    EXPECT_EQ(exporter.movieExporter(), nullptr);

    const std::string chosen = (folder_ / "chosen.m4v").string();
    exporter.setSavePanel([&](const std::string& name) -> std::optional<std::string> {
        offered.push_back(name);
        return chosen;
    });
    ASSERT_TRUE(exporter.beginExport());
    ASSERT_TRUE(exporter.movieExporter()->waitUntilFinished());
    EXPECT_EQ(exporter.exportPath(), chosen);
    EXPECT_TRUE(fs::exists(chosen));
    EXPECT_EQ(offered, (std::vector<std::string>{"Meeting", "Meeting"}));
}

TEST_F(RecordingExport, MissingRecordingFailsWithItsReason) {
    VTLRecordingExporter exporter((folder_ / "Gone.vistrelRecord").string(), media_);
    exporter.setExportPath((folder_ / "gone.m4v").string());
    const Status started = exporter.beginExport();
    ASSERT_FALSE(started);
    EXPECT_NE(started.error().find("Gone.vistrelRecord"), std::string::npos) << started.error();
    EXPECT_FALSE(fs::exists(folder_ / "gone.m4v"));
}

} // namespace
} // namespace vtl::test
