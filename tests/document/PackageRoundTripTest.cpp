// Saving and opening a composition that holds every object kind and every root key: the stored
// "composition" comes back byte for byte, the package's layout and icon, the key order, and every
// object draws the same before and after through the render tool.

#include "DocumentTestSupport.h"
#include "MediaFixtures.h"
#include "document/DocumentPackage.h"
#include "document/DocumentPackageFiles.h"
#include "model/CompositionChapterMark.h"
#include "model/EffectFilterDescriptions.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionImageObject.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/CompositionTransition.h"
#include "objects/TextVisualization.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/imaging/FilterRegistry.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "render/FilterCatalog.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionQTTrack.h"
#include "tracks/CompositionTrackObject.h"
#include "tracks/CompositionVistrelTrack.h"

#include <QColor>
#include <QImage>

namespace vtl::test {
namespace {

class PackageRoundTrip : public ::testing::Test {
protected:
    PackageRoundTrip()
        : folder_(documentScratchFolder("round-trip"))
        , media_(folder_ / "TemporaryResources") {
        registerBuiltinFilters();
        installFilterDescriptionCatalog(FilterCatalog::standard());
        auto style = makeModelObject<TextVisualization>();
        style->setName("Round trip");
        style->setFont(ArchivedFont{"DejaVu Sans", 20});
        CompositionTextObject::setDefaultStyleProvider([style] { return style; });
    }
    ~PackageRoundTrip() override {
        for (const auto& document : documents_) {
            for (const auto& object : document->objectsContainer()->allObjects()) {
                if (auto* track = dynamic_cast<CompositionTrackObject*>(object.get()))
                    track->cancelExtraction();
            }
        }
        runMainLoopUntil([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 10);
        for (const auto& document : documents_)
            document->tearDown();
        documents_.clear();
        CompositionTextObject::setDefaultStyleProvider(nullptr);
        docfs::remove_all(folder_);
    }

    CompositionDocument& newDocument() {
        documents_.push_back(std::make_unique<CompositionDocument>());
        documents_.back()->setSharedMediaManager(&media_);
        return *documents_.back();
    }

    std::shared_ptr<CompositionMediaEntry> entry(CompositionDocument& document, const std::string& path) {
        return media_.entryForResourceWithFileSystemPath(path, &document,
                                                         SharedMediaManager::ResourceCopy::None);
    }

    std::string picture() {
        QImage image(40, 30, QImage::Format_ARGB32);
        image.fill(QColor(0, 0, 255));
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 40; ++x)
                image.setPixelColor(x, y, QColor(255, 0, 0));
        const docfs::path path = folder_ / "picture.png";
        EXPECT_TRUE(image.save(QString::fromStdString(path.string())));
        return path.string();
    }

    std::string recording() {
        const docfs::path path = folder_ / "small.vistrelRecord";
        SyntheticRecordingSettings settings;
        settings.screen.width = 64;
        settings.screen.height = 48;
        settings.screen.movingRectSize = 12;
        settings.framesPerSecond = 5;
        settings.seconds = 2;
        auto written = writeSyntheticRecording(path.string(), settings);
        EXPECT_TRUE(written) << written.error();
        return path.string();
    }

    // Images, shapes, texts, a transition, a recording, a movie, a sound, chapter marks, metadata,
    // and every optional root key.
    CompositionDocument& richDocument() {
        CompositionDocument& document = newDocument();
        CompositionObjectsContainer& container = *document.objectsContainer();
        container.setCanvasSize({320, 180});
        auto shape = makeModelObject<CompositionShapeObject>(&container, int32_t(ShapeKind::Polygon));
        shape->setStartTimeEndTime(0, 6);
        shape->setRect(Rect(10, 10, 120, 80), 0);
        shape->setColor(RGBAColor::device(0.2, 0.8, 0.3, 1), 0);
        container.addObject(shape);
        auto second = makeModelObject<CompositionShapeObject>(&container, int32_t(ShapeKind::Rectangle));
        second->setStartTimeEndTime(5, 10);
        second->setRect(Rect(100, 40, 90, 60), 5);
        container.addObject(second);
        auto transition = CompositionTransition::transitionWithObjects(shape, second, &container);
        container.addObject(transition);
        auto text = makeModelObject<CompositionTextObject>(&container);
        text->setStartTimeEndTime(0, 8);
        container.addObject(text);
        text->setText("Round trip");
        text->setRect(Rect(150, 20, 150, 50), 0);
        auto image = makeModelObject<CompositionImageObject>(&container);
        image->setStartTimeEndTime(1, 9);
        image->setMediaEntry(entry(document, picture()));
        container.addObject(image);
        auto record = makeModelObject<CompositionVistrelTrack>(&container);
        record->setMediaEntry(entry(document, recording()));
        record->setStartTimeEndTime(0, 2);
        container.addObject(record);
        auto movie = makeModelObject<CompositionMovieTrackObject>(&container);
        movie->setMediaEntry(entry(document, mediaFixture("h264-360p")));
        movie->setTrackIndex(0);
        movie->setStartTimeEndTime(2, 5);
        container.addObject(movie);
        auto sound = makeModelObject<CompositionAudioTrackObject>(&container);
        sound->setMediaEntry(entry(document, mediaFixture("aac-only")));
        sound->setTrackIndex(0);
        container.addObject(sound);
        container.createChapterMarkAtTime(1.5)->setName("Intro");
        container.mutableMetaData().set("author", PropertyList(std::string("tests")));

        document.setLastAddedShape(shape);
        document.setLastAddedText(text);
        (void)document.identifier();
        document.recentlyUsedVoices()["English"] = "en-us";
        document.setMostRecentLanguageName("German");
        document.setDontAskAboutEnlargingAgain(true);
        document.setTimeScale(0.02);
        auto& handOver = document.windowHandOver();
        handOver.horizontalGuides = std::vector<double>{12.5, 90};
        handOver.verticalGuides = std::vector<double>{33};
        PlistDictionary states;
        states.set("shape", PropertyList(PlistDictionary{{"scroll", PropertyList(40.0)}}));
        handOver.expandedCollapsedPropertyViewStates = states;
        PlistDictionary frame;
        frame.set("screenSize", PropertyList(std::string("{1440, 900}")));
        frame.set("windowFrame", PropertyList(std::string("{{5, 6}, {700, 500}}")));
        handOver.windowFrameDictionary = frame;
        return document;
    }

    docfs::path folder_;
    SharedMediaManager media_;
    std::vector<std::unique_ptr<CompositionDocument>> documents_;
};

std::vector<std::string> rootKeysOf(const docfs::path& package) {
    const std::vector<std::uint8_t> bytes = documentFileBytes(package / "composition");
    KeyedUnarchiver coder;
    EXPECT_TRUE(coder.open(bytes).ok());
    std::vector<std::string> keys;
    if (std::optional<ArchivedDictionary> root = coder.decodeDictionaryForKey("root"))
        for (const auto& [key, value] : *root)
            keys.push_back(key);
    return keys;
}

std::pair<std::uint32_t, std::uint32_t> pngSize(const std::vector<std::uint8_t>& png) {
    if (png.size() < 24) return {0, 0};
    auto word = [&](std::size_t at) {
        return std::uint32_t(png[at]) << 24 | std::uint32_t(png[at + 1]) << 16 |
               std::uint32_t(png[at + 2]) << 8 | std::uint32_t(png[at + 3]);
    };
    return {word(16), word(20)};
}

TEST_F(PackageRoundTrip, SaveOpenSaveGivesTheSameBytesAndTheSamePictures) {
    CompositionDocument& original = richDocument();
    const docfs::path first = folder_ / "first.vistrelcomposition";
    const Status saved = original.writeSafelyToURL(first.string());
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ(original.fileURL(), first.string());
    EXPECT_TRUE(docfs::exists(first / "mediaClean"));
    std::size_t mediaFiles = 0;
    for ([[maybe_unused]] const auto& file : docfs::directory_iterator(first / "media"))
        ++mediaFiles;
    EXPECT_EQ(mediaFiles, 4u) << "the picture, the recording, the movie and the sound";
    EXPECT_EQ(pngSize(documentFileBytes(first / "Icon.png")), std::make_pair(340u, 340u))
        << "a square of 1.0625 times the longer side";
    for (const auto& file : docfs::directory_iterator(folder_))
        EXPECT_NE(file.path().filename().string().rfind(kPackageTemporaryPrefix, 0), 0u)
            << "no temporary is left";

    EXPECT_EQ(rootKeysOf(first),
              (std::vector<std::string>{
                  "objects", "timeScale", "mediaEntries", "expandedCollapsedPropertyViewStates",
                  "VistrelDocumentFormatVersion", "windowFrameDictionary", "key_documentIdentifier",
                  "lastAddedShape", "lastAddedText", "recentlyUsedVoices", "mostRecentLanguageName",
                  "horizontalGuides", "verticalGuides", "document_dontAskAboutEnlargingAgain"}));

    // What an importer without our classes finds in the file.
    const DocumentCommandRun walked = runDocumentCommand(std::string("python3 ") + VISTREL_TEST_SOURCE_DIR +
                                                         "/importer-fields.py " + first.string() + " 2>&1");
    EXPECT_EQ(walked.exitStatus, 0) << walked.output;
    EXPECT_EQ(walked.output, "container CompositionObjectsContainer CompositionUndoObject NSObject\n"
                             "objects 8\n"
                             "text Round trip\n"
                             "chapter Intro\n"
                             "metaData author tests\n");

    CompositionDocument& reopened = newDocument();
    ASSERT_TRUE(reopened.readFromURL(first.string()).ok());
    EXPECT_EQ(reopened.identifier(), original.identifier());
    EXPECT_EQ(reopened.timeScale(), 0.02);
    EXPECT_EQ(reopened.lastAddedShape()->uniqueID(), original.lastAddedShape()->uniqueID());
    EXPECT_EQ(reopened.lastAddedText()->uniqueID(), original.lastAddedText()->uniqueID());
    EXPECT_EQ(reopened.mostRecentLanguageName(), "German");
    EXPECT_EQ(reopened.objectsContainer()->allObjects().size(),
              original.objectsContainer()->allObjects().size());
    for (const auto& entry : media_.entriesForDocument(&reopened))
        EXPECT_FALSE(entry->isMissing());

    const docfs::path second = folder_ / "second.vistrelcomposition";
    ASSERT_TRUE(reopened.writeSafelyToURL(second.string(), PackageIcon::Skip).ok());
    EXPECT_EQ(documentFileBytes(second / "composition"), documentFileBytes(first / "composition"));
    // Saved again in place.
    ASSERT_TRUE(reopened.writeSafelyToURL(second.string(), PackageIcon::Skip).ok());
    EXPECT_EQ(documentFileBytes(second / "composition"), documentFileBytes(first / "composition"));

    // In process: the reopened composition draws as the one built.
    VTLObjectsContainerImageGenerator before({320, 180}, 1.0f, nullptr, GeneratorAlpha::With);
    VTLObjectsContainerImageGenerator after({320, 180}, 1.0f, nullptr, GeneratorAlpha::With);
    for (double time : {0.5, 1.5, 3.0, 5.5, 7.0}) {
        SCOPED_TRACE(time);
        auto a = before.bitmapFromObjectsContainer(*original.objectsContainer(), time, false);
        auto b = after.bitmapFromObjectsContainer(*reopened.objectsContainer(), time, false);
        ASSERT_TRUE(a.ok() && b.ok());
        ASSERT_EQ(a.value().height(), b.value().height());
        for (std::size_t y = 0; y < a.value().height(); ++y)
            ASSERT_EQ(std::memcmp(a.value().rowAt(y), b.value().rowAt(y), a.value().width() * 4), 0)
                << "row " << y;
    }
#ifdef VISTREL_RENDER_TOOL
    // Through the render tool, as a user would see both packages.
    for (double time : {0.5, 1.5, 3.0, 5.5, 7.0}) {
        SCOPED_TRACE(time);
        std::vector<std::vector<std::uint8_t>> pictures;
        for (const docfs::path& package : {first, second}) {
            const docfs::path png = folder_ / (package.stem().string() + ".png");
            const DocumentCommandRun run =
                runDocumentCommand(std::string(VISTREL_RENDER_TOOL) + " " + package.string() + " --time " +
                                   std::to_string(time) + " --out " + png.string() + " 2>&1");
            EXPECT_EQ(run.exitStatus, 0) << run.output;
            pictures.push_back(documentFileBytes(png));
        }
        EXPECT_FALSE(pictures[0].empty());
        EXPECT_EQ(pictures[0], pictures[1]);
    }
#endif
}

TEST_F(PackageRoundTrip, WithAWindowTheWindowsValuesAreSaved) {
    CompositionDocument& document = newDocument();
    FakeDocumentWindow window;
    window.horizontal = {1, 2};
    window.vertical = {3};
    window.frame = Rect(1, 2, 300, 200);
    window.screen = {1024, 768};
    document.makeWindowControllers(&window);
    const docfs::path package = folder_ / "windowed.vistrelcomposition";
    ASSERT_TRUE(document.writeSafelyToURL(package.string(), PackageIcon::Skip).ok());
    EXPECT_EQ(window.inspectorCommits, 1) << "pending inspector edits are committed first";

    CompositionDocument& reopened = newDocument();
    ASSERT_TRUE(reopened.readFromURL(package.string()).ok());
    EXPECT_EQ(reopened.windowHandOver().horizontalGuides, (std::vector<double>{1, 2}));
    EXPECT_EQ(reopened.windowHandOver().verticalGuides, (std::vector<double>{3}));
    const PlistDictionary& frame = *reopened.windowHandOver().windowFrameDictionary;
    EXPECT_EQ(*frame.find("screenSize")->stringValue(), stringFromSize({1024, 768}));
    EXPECT_EQ(*frame.find("windowFrame")->stringValue(), stringFromRect(Rect(1, 2, 300, 200)));
    EXPECT_FALSE(reopened.hasIdentifier()) << "no identifier was asked for, so none was stored";
    document.setWindow(nullptr);
}

TEST_F(PackageRoundTrip, SpeechFolderAndIconFollowThePackage) {
    CompositionDocument& document = newDocument();
    EXPECT_NE(document.generatedSpeechBasePath().find("GeneratedSpeech"), std::string::npos);
    const docfs::path package = folder_ / "speech.vistrelcomposition";
    ASSERT_TRUE(document.writeSafelyToURL(package.string()).ok());
    EXPECT_EQ(document.generatedSpeechBasePath(), (package / "GeneratedSpeech").string());
    // An empty composition still gets an icon: a square around the canvas.
    EXPECT_EQ(pngSize(documentFileBytes(package / "Icon.png")), std::make_pair(1360u, 1360u));
}

TEST_F(PackageRoundTrip, TheIconIsDrawnAtItsOwnSize) {
    struct Case {
        Size canvas;
        std::uint32_t side;
    };
    // A frame of 1920 × 1080 fills a square of 2040; the largest canvas is drawn smaller, into a
    // square of 1.0625 × 2048.
    const Case cases[] = {{{1920, 1080}, 2040}, {{16384, 16384}, 2176}, {{16384, 90}, 2176}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canvas.width);
        CompositionDocument& document = newDocument();
        document.objectsContainer()->setCanvasSize(c.canvas);
        const docfs::path package = folder_ / "icon.vistrelcomposition";
        docfs::remove_all(package);
        ASSERT_TRUE(document.writeSafelyToURL(package.string()).ok());
        EXPECT_EQ(pngSize(documentFileBytes(package / "Icon.png")), std::make_pair(c.side, c.side));
    }
}

} // namespace
} // namespace vtl::test
