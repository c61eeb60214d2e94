// The render tool: its PNG matches the generator's frame for a composition package and for a
// recording package, and bad input fails with one line and a non-zero exit.

#include "document/DocumentOpening.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/CompositionTransition.h"
#include "objects/MouseVisualization.h"
#include "objects/RectangularObjectArchiving.h"
#include "objects/TextVisualization.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/graphics/Bitmap.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "support/ToolRun.h"
#include "tracks/CompositionVistrelTrack.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace vtl::test {
namespace {

namespace fs = std::filesystem;

#ifdef VISTREL_RENDER_TOOL

ToolRun runRenderTool(const std::string& arguments) {
    return runTool(VISTREL_RENDER_TOOL, arguments);
}

class RenderTool : public ::testing::Test {
protected:
    RenderTool()
        : folder_(fs::path(::testing::TempDir()) / ("render-tool-" + std::to_string(::getpid()))) {
        fs::create_directories(folder_);
    }
    ~RenderTool() override { fs::remove_all(folder_); }

    // A composition package whose canvas shows a red-to-blue background.
    std::string compositionPackage() {
        CompositionDocument document;
        auto& container = *document.objectsContainer();
        container.setCanvasSize({48, 30});
        container.setBackgroundColor1(RGBAColor::device(1, 0, 0, 1));
        container.setBackgroundColor2(RGBAColor::device(0, 0, 1, 1));
        return writePackage(document, "gradient.vistrel");
    }

    std::string writePackage(CompositionDocument& document, const std::string& name) {
        const fs::path package = folder_ / name;
        fs::create_directories(package);
        KeyedArchiver coder;
        ArchivedDictionary root;
        root.set("objects", ArchivedValue(document.objectsContainer()));
        root.set("VistrelDocumentFormatVersion", ArchivedValue(5));
        coder.encodeObject(KeyedArchiver::rootKey, ArchivedValue(std::move(root)));
        auto bytes = coder.finishEncoding();
        EXPECT_TRUE(bytes) << bytes.error();
        std::ofstream(package / "composition", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        return package.string();
    }

    std::string recordingPackage() {
        const fs::path package = folder_ / "take.vistrelRecord";
        SyntheticRecordingSettings settings;
        settings.screen.width = 96;
        settings.screen.height = 64;
        settings.framesPerSecond = 5;
        settings.seconds = 1;
        auto written = writeSyntheticRecording(package.string(), settings);
        EXPECT_TRUE(written) << written.error();
        return package.string();
    }

    // The tool's PNG against the generator's frame of the same document.
    void expectToolMatchesGenerator(const std::string& input, CompositionDocument& document, Size size,
                                    const std::string& sizeArgument, double time = 0.5) {
        const fs::path png = folder_ / "out.png";
        const ToolRun run = runRenderTool(input + " --time " + std::to_string(time) + " --out " +
                                          png.string() + sizeArgument);
        ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
        std::ifstream in(png, std::ios::binary);
        const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
        const std::shared_ptr<Bitmap> decoded = Bitmap::fromData(data);
        ASSERT_TRUE(decoded);

        VTLObjectsContainerImageGenerator generator(size, 1, nullptr, GeneratorAlpha::With);
        auto frame = generator.bitmapFromObjectsContainer(*document.objectsContainer(), time, false);
        ASSERT_TRUE(frame) << frame.error();
        ASSERT_EQ(decoded->width(), int(frame->width()));
        ASSERT_EQ(decoded->height(), int(frame->height()));
        int worst = 0;
        for (std::size_t y = 0; y < frame->height(); ++y)
            for (std::size_t x = 0; x < frame->width() * 4; ++x)
                worst = std::max(worst, std::abs(int(decoded->data()[y * decoded->bytesPerRow() + x]) -
                                                 int(frame->rowAt(y)[x])));
        EXPECT_LE(worst, 1);
    }

    fs::path folder_;
};

TEST_F(RenderTool, MatchesTheGeneratorForACompositionPackage) {
    const std::string package = compositionPackage();
    auto document = openCompositionPackage(package);
    ASSERT_TRUE(document) << document.error();
    expectToolMatchesGenerator(package, *document.value(), {48, 30}, "");
    expectToolMatchesGenerator(package, *document.value(), {24, 60}, " --size 24x60");
}

TEST_F(RenderTool, ShapesAndTextsDrawTheSameAfterTheirArchiveRoundTrip) {
    registerVisualObjectClasses();
    auto style = makeModelObject<TextVisualization>();
    style->setName("Round trip");
    style->setFont(ArchivedFont{"DejaVu Sans", 24});
    CompositionTextObject::setDefaultStyleProvider([style] { return style; });
    {
        CompositionDocument document;
        auto& container = *document.objectsContainer();
        container.setCanvasSize({160, 90});
        auto shape = makeModelObject<CompositionShapeObject>(&container, int32_t(ShapeKind::Polygon));
        shape->setStartTimeEndTime(0, 4);
        shape->setRect(Rect(10, 10, 80, 60), 0);
        shape->setColor(RGBAColor::device(0.2, 0.8, 0.3, 1), 0);
        shape->setRotation(20, 1);
        container.addObject(shape);
        auto text = makeModelObject<CompositionTextObject>(&container);
        text->setStartTimeEndTime(0, 4);
        container.addObject(text);
        text->setText("Round");
        text->setRect(Rect(60, 20, 90, 40), 0);
        const std::string package = writePackage(document, "objects.vistrel");
        // Drawn from the model as built against the tool's drawing of the stored package.
        expectToolMatchesGenerator(package, document, {160, 90}, "", 1.0);
    }
    CompositionTextObject::setDefaultStyleProvider(nullptr);
}

TEST_F(RenderTool, MatchesTheGeneratorForARecordingPackage) {
    const std::string package = recordingPackage();
    SharedMediaManager media(folder_ / "media");
    auto document = openRecordingAsComposition(package, media);
    ASSERT_TRUE(document) << document.error();
    EXPECT_EQ(document.value()->objectsContainer()->canvasSize().width, 96)
        << "the canvas takes the recording's size";
    EXPECT_EQ(document.value()->objectsContainer()->objects().size(), 1u);
    expectToolMatchesGenerator(package, *document.value(), {96, 64}, "");
}

TEST_F(RenderTool, ARecordingOpensWithItsRecordedMouseStyle) {
    const std::string package = recordingPackage();
    MouseVisualization::registerClasses();
    auto recorded = std::make_shared<MouseVisualization>();
    recorded->setName("Recorded style");
    recorded->visualizesClicks = false;
    recorded->size = 33;
    auto bytes = KeyedArchiver::archivedData(recorded);
    ASSERT_TRUE(bytes) << bytes.error();
    std::ofstream(fs::path(package) / "mouseVisualization", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));

    SharedMediaManager media(folder_ / "media");
    auto document = openRecordingAsComposition(package, media);
    ASSERT_TRUE(document) << document.error();
    auto track = std::dynamic_pointer_cast<CompositionVistrelTrack>(
        document.value()->objectsContainer()->objects().front());
    ASSERT_TRUE(track);
    ASSERT_TRUE(track->recordMouseVisualization());
    EXPECT_EQ(track->recordMouseVisualization()->size, 33);
    EXPECT_TRUE(track->recordMouseVisualization()->vistrelOwn);
    EXPECT_EQ(track->mouseVisualization(), track->recordMouseVisualization())
        << "drawn with the recorded style";
    EXPECT_EQ(track->startTime(), 0);

    // A damaged style file leaves the recording openable, with the default style.
    std::ofstream(fs::path(package) / "mouseVisualization", std::ios::binary) << "damaged";
    auto withDamagedStyle = openRecordingAsComposition(package, media);
    ASSERT_TRUE(withDamagedStyle) << withDamagedStyle.error();
}

TEST_F(RenderTool, TransitionsDrawWithoutWarnings) {
    registerVisualObjectClasses();
    for (int32_t type : {0, 2, 4, 6}) {
        SCOPED_TRACE(type);
        CompositionDocument document;
        auto& container = *document.objectsContainer();
        container.setCanvasSize({64, 40});
        auto from = makeModelObject<CompositionShapeObject>(&container, int32_t(ShapeKind::Polygon));
        from->setStartTimeEndTime(0, 3);
        from->setRect(Rect(0, 0, 64, 40), 0);
        from->setColor(RGBAColor::device(1, 0, 0, 1), 0);
        container.addObject(from);
        auto to = makeModelObject<CompositionShapeObject>(&container, int32_t(ShapeKind::Polygon));
        to->setStartTimeEndTime(2, 5);
        to->setRect(Rect(0, 0, 64, 40), 0);
        to->setColor(RGBAColor::device(0, 0, 1, 1), 0);
        container.addObject(to);
        auto transition = CompositionTransition::transitionWithObjects(from, to, &container);
        transition->setTransitionType(type);
        container.addObject(transition);
        const std::string package = writePackage(document, "transition-" + std::to_string(type) + ".vistrel");
        const ToolRun run =
            runRenderTool(package + " --time 2.5 --out " + (folder_ / "transition.png").string());
        EXPECT_EQ(run.exitStatus, 0) << run.errorOutput;
        EXPECT_EQ(run.errorOutput.find("image filter"), std::string::npos) << run.errorOutput;
    }
}

TEST_F(RenderTool, TheOutputsNameChoosesPngOrJpeg) {
    const std::string package = compositionPackage();
    for (const char* name : {"frame.png", "frame.jpg", "frame.JPEG"}) {
        SCOPED_TRACE(name);
        const fs::path out = folder_ / name;
        const ToolRun run = runRenderTool(package + " --time 0 --out " + out.string());
        ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
        std::ifstream in(out, std::ios::binary);
        const std::vector<std::uint8_t> head{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
        ASSERT_GE(head.size(), 4u);
        const bool png = head[0] == 0x89 && head[1] == 'P';
        const bool jpeg = head[0] == 0xff && head[1] == 0xd8;
        EXPECT_TRUE(std::string(name).ends_with(".png") ? png : jpeg);
    }
}

TEST_F(RenderTool, BadInputFailsWithOneLine) {
    const std::string package = compositionPackage();
    const fs::path damaged = folder_ / "damaged.vistrel";
    fs::create_directories(damaged);
    std::ofstream(damaged / "composition") << "not an archive";
    const std::string out = (folder_ / "x.png").string();
    // A composition that ends at 4 s.
    CompositionDocument document;
    auto shape = makeModelObject<CompositionShapeObject>(document.objectsContainer().get(),
                                                         int32_t(ShapeKind::Polygon));
    shape->setStartTimeEndTime(0, 4);
    shape->setRect(Rect(0, 0, 10, 10), 0);
    document.objectsContainer()->addObject(shape);
    const std::string timed = writePackage(document, "timed.vistrel");
    struct Case {
        const char* name;
        std::string arguments;
    };
    const Case cases[] = {
        {"missing input", (folder_ / "missing.vistrel").string() + " --time 1 --out " + out},
        {"missing recording", (folder_ / "missing.vistrelRecord").string() + " --time 1 --out " + out},
        {"damaged composition", damaged.string() + " --time 1 --out " + out},
        {"time not a number", package + " --time soon --out " + out},
        {"negative time", package + " --time -1 --out " + out},
        {"time not finite", package + " --time inf --out " + out},
        {"no time", package + " --out " + out},
        {"bad size", package + " --time 1 --out " + out + " --size 0x10"},
        {"size without height", package + " --time 1 --out " + out + " --size 10x"},
        {"huge size", package + " --time 1 --out " + out + " --size 100000x10"},
        {"unwritable output", package + " --time 1 --out " + (folder_ / "no" / "such" / "x.png").string()},
        {"unknown option", package + " --time 1 --out " + out + " --fast"},
        {"past the end", timed + " --time 4 --out " + out},
        {"picture format not known", package + " --time 1 --out " + (folder_ / "x.bmp").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolRun run = runRenderTool(c.arguments);
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_EQ(std::count(run.errorOutput.begin(), run.errorOutput.end(), '\n'), 1) << run.errorOutput;
        EXPECT_EQ(run.errorOutput.rfind("vistrel-render: ", 0), 0u) << run.errorOutput;
        EXPECT_FALSE(fs::exists(out));
    }
}

#endif

} // namespace
} // namespace vtl::test
