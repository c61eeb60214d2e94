// Generated speech: texts per language synthesized into files of the document's speech folder,
// the object's length, undo of texts, voices and role, removal, saving, archives, copies, the
// fallback when a synthesis fails, and which roles play.

#include "tracks/GeneratedSpeech.h"

#include "audio/AudioTrackPlayer.h"
#include "document/CompositionDocument.h"
#include "model/SharedMediaManager.h"
#include "model/support/UndoRoundTrip.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/media/MediaAsset.h"
#include "platform/speech/SpeechSynthesizer.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vtl;
namespace fs = std::filesystem;

namespace {

using SpeechObject = CompositionGeneratedSpeechTrackObject;

constexpr const char* englishText = "Welcome to this short tour of the new timeline and its tracks.";
constexpr const char* germanText =
    "Willkommen zu diesem kurzen Rundgang durch die neue Zeitleiste, ihre Spuren und ihre vielen Werkzeuge.";

class SpeechDocument : public CompositionDocument {
public:
    std::string generatedSpeechBasePath() const override { return base; }
    std::string base;
};

// What a user sees of a speech object's texts: language, text and voice. The files and durations
// change with every synthesis, so undo is checked against this view of the object.
class SpeechTextsView : public Archivable {
public:
    explicit SpeechTextsView(std::shared_ptr<SpeechObject> object)
        : object_(std::move(object)) {}
    std::string archivedClassName() const override { return "NSObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        for (const auto& [name, speech] : object_->speechTexts()) {
            coder.encodeObject(name + ".text", ArchivedValue(speech->speechText()));
            coder.encodeObject(name + ".voice", ArchivedValue(speech->voice()));
        }
        coder.encodeInt32("role", object_->speechRole());
    }
    void initWithCoder(KeyedUnarchiver&) override {}

private:
    std::shared_ptr<SpeechObject> object_;
};

std::string firstVoiceOf(const std::string& prefix, const std::string& other = {}) {
    for (const SpeechVoice& voice : SpeechSynthesizer::availableVoices()) {
        if (voice.language.rfind(prefix, 0) == 0 && voice.identifier != other) return voice.identifier;
    }
    return {};
}

class GeneratedSpeechTest : public ::testing::Test {
protected:
    GeneratedSpeechTest() {
        registerVisualObjectClasses();
        SpeechObject::registerClasses();
        AudioHardware::setShared(hardware_);
        folder_ = fs::temp_directory_path() / ("vistrel-generated-speech-" + std::to_string(::getpid()) +
                                               "-" + std::to_string(counter_++));
        fs::create_directories(folder_);
        document_.base = (folder_ / "GeneratedSpeech").string();
        container()->setLanguageScript(0);
    }
    ~GeneratedSpeechTest() override {
        for (const auto& object : made_)
            object->stopGeneratingSpeech();
        runMainLoopOnce(0);
        AudioHardware::setShared(nullptr);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    CompositionObjectsContainer* container() { return document_.objectsContainer().get(); }
    CompositionUndoManager& undoManager() { return *document_.undoManager(); }

    std::shared_ptr<SpeechObject> makeSpeechObject() {
        auto object = makeModelObject<SpeechObject>(container());
        container()->addObject(object);
        made_.push_back(object);
        return object;
    }

    // Adds texts and waits for them, with empty undo stacks afterwards.
    std::shared_ptr<SpeechObject>
    makeSpokenObject(std::initializer_list<std::pair<const char*, const char*>> texts) {
        auto object = makeSpeechObject();
        for (const auto& [language, text] : texts) {
            object->addTextForLanguage(language);
            object->setStringForLanguage(text, language);
        }
        waitForSpeech(*object);
        undoManager().removeAllActions();
        return object;
    }

    static void waitForSpeech(const SpeechObject& object) {
        ASSERT_TRUE(runMainLoopUntil([&] { return !object.isGeneratingSpeech(); }, 120));
        runMainLoopOnce(0);
    }

    std::string livePath(const std::string& identifier) const { return document_.base + "/" + identifier; }
    fs::path packagePath() const { return folder_ / "Saved.vistrelcomposition"; }

    SpeechDocument document_;
    std::vector<std::shared_ptr<SpeechObject>> made_;

private:
    static inline int counter_ = 0;
    std::shared_ptr<NullAudioHardware> hardware_ = std::make_shared<NullAudioHardware>();
    fs::path folder_;
};

} // namespace

TEST_F(GeneratedSpeechTest, ObjectLengthFollowsTheLongestTextWhateverTheLanguage) {
    auto empty = makeSpeechObject();
    empty->setStartTimeEndTime(2, 2);
    EXPECT_DOUBLE_EQ(empty->snapEndTime(), 6.0) << "4 s shown while start equals end";
    empty->reevaluateDurations(nullptr);
    EXPECT_DOUBLE_EQ(empty->endTime() - empty->startTime(), 1.0) << "at least 1 s";

    auto object = makeSpokenObject({{"English", englishText}, {"German", germanText}});
    const double english = object->durationForLanguage("English");
    const double german = object->durationForLanguage("German");
    EXPECT_GT(english, 1.0);
    EXPECT_GT(german, english);
    EXPECT_EQ(object->cachedLanguageName(), std::optional<std::string>("English, German"));
    for (int32_t language : {0, 2, -1}) {
        SCOPED_TRACE(language);
        container()->setLanguageScript(language);
        object->reevaluateDurations(nullptr);
        EXPECT_NEAR(object->endTime() - object->startTime(), german, 1e-9);
    }
    EXPECT_EQ(object->durationOfLanguageScript(2), german);
    EXPECT_EQ(object->durationOfLanguageScript(3), 0.0);
    ASSERT_TRUE(object->assetTrackForLanguageScript(0).has_value());
    EXPECT_EQ(object->assetTrackForLanguageScript(0)->codecName, "pcm_s16be");
    EXPECT_EQ(object->languages().size(), 2u);
}

TEST_F(GeneratedSpeechTest, UndoingAVoiceChangeSynthesizesIntoANewFileAndDeletesTheOld) {
    auto object = makeSpokenObject({{"English", englishText}});
    const std::shared_ptr<GeneratedSpeech> speech = object->speechTexts().at("English");
    const std::string firstVoice = speech->voice();
    const std::string otherVoice = firstVoice.empty() ? std::string() : firstVoiceOf("en", firstVoice);
    ASSERT_FALSE(otherVoice.empty());
    const std::string first = speech->fileIdentifier();
    ASSERT_TRUE(fs::exists(livePath(first)));

    ASSERT_TRUE(object->setVoiceForLanguage(otherVoice, "English"));
    waitForSpeech(*object);
    const std::string second = speech->fileIdentifier();
    EXPECT_NE(second, first);
    EXPECT_TRUE(fs::exists(livePath(second)));
    EXPECT_FALSE(fs::exists(livePath(first)));

    undoManager().undo();
    EXPECT_EQ(speech->voice(), firstVoice);
    EXPECT_EQ(speech->speechText(), englishText);
    waitForSpeech(*object);
    const std::string third = speech->fileIdentifier();
    EXPECT_NE(third, second);
    EXPECT_NE(third, first);
    EXPECT_TRUE(fs::exists(livePath(third)));
    EXPECT_FALSE(fs::exists(livePath(second)));

    undoManager().redo();
    EXPECT_EQ(speech->voice(), otherVoice);
    waitForSpeech(*object);
    EXPECT_FALSE(fs::exists(livePath(third)));
    EXPECT_TRUE(fs::exists(livePath(speech->fileIdentifier())));
}

TEST_F(GeneratedSpeechTest, RemovingATextAndUndoingBringsTheSameSpeechBackWithANewFile) {
    auto object = makeSpokenObject({{"English", englishText}, {"German", germanText}});
    const std::shared_ptr<GeneratedSpeech> german = object->speechTexts().at("German");
    const std::string removedFile = german->fileIdentifier();

    object->removeTextForLanguage("German");
    EXPECT_FALSE(object->hasTextForLanguage("German"));
    EXPECT_FALSE(fs::exists(livePath(removedFile)));
    EXPECT_EQ(object->cachedLanguageName(), std::optional<std::string>("English"));
    EXPECT_NEAR(object->endTime() - object->startTime(), object->durationForLanguage("English"), 1e-9);
    runMainLoopOnce(0);

    undoManager().undo();
    ASSERT_TRUE(object->hasTextForLanguage("German"));
    EXPECT_EQ(object->speechTexts().at("German"), german);
    waitForSpeech(*object);
    EXPECT_NE(german->fileIdentifier(), removedFile);
    EXPECT_TRUE(fs::exists(livePath(german->fileIdentifier())));
    EXPECT_EQ(german->speechText(), germanText);
    EXPECT_NEAR(object->endTime() - object->startTime(), german->synthesizedDuration(), 1e-9);
    const std::vector<std::string>& panes = object->propertyNames();
    EXPECT_EQ(panes.back(), "DependentObjectPropertiesView.nib");
    EXPECT_EQ(std::count(panes.begin(), panes.end(), "Speech_German"), 1);
}

TEST_F(GeneratedSpeechTest, UndoRoundTripsOnTextsVoicesAndRole) {
    auto object = makeSpokenObject({{"English", englishText}});
    test::UndoRoundTrip texts(undoManager(), std::make_shared<SpeechTextsView>(object));
    texts.check("text", [&] { object->setStringForLanguage("Something else to say.", "English"); });
    texts.check("voice", [&] {
        object->setVoiceForLanguage(firstVoiceOf("en", object->voiceForLanguage("English")), "English");
    });
    texts.check("add", [&] { object->addTextForLanguage("German"); });
    texts.check("remove", [&] { object->removeTextForLanguage("English"); });
    waitForSpeech(*object);
    test::UndoRoundTrip whole(undoManager(), object);
    whole.check("role", [&] { object->setSpeechRole(1); });
}

TEST_F(GeneratedSpeechTest, SavingWritesOnlyTheMissingFilesIntoThePackage) {
    auto object = makeSpokenObject({{"English", englishText}, {"German", germanText}});
    const fs::path speechFolder = packagePath() / "GeneratedSpeech";
    fs::create_directories(speechFolder);
    const std::string kept = object->speechTexts().at("English")->fileIdentifier();
    std::ofstream(speechFolder / kept) << "already saved";

    // A text still being synthesized is finished before the save reports.
    object->setStringForLanguage("Noch ein Satz.", "German");
    ASSERT_TRUE(object->saveSpeechFilesTo(packagePath().string()).ok());
    EXPECT_FALSE(object->isGeneratingSpeech());
    std::ifstream keptFile(speechFolder / kept);
    std::string content;
    std::getline(keptFile, content);
    EXPECT_EQ(content, "already saved");
    const std::string written = object->speechTexts().at("German")->fileIdentifier();
    Result<std::shared_ptr<const MediaAsset>> asset = MediaAsset::open((speechFolder / written).string());
    ASSERT_TRUE(asset.ok()) << asset.error();
    EXPECT_EQ((*asset)->track(0)->codecName, "pcm_s16be");
    EXPECT_EQ(std::distance(fs::directory_iterator(speechFolder), fs::directory_iterator()), 2);
}

TEST_F(GeneratedSpeechTest, ArchivesKeepTextsAndUseOnlyPlainFileNames) {
    auto object = makeSpokenObject({{"English", englishText}, {"German", germanText}});
    object->setSpeechRole(2);
    Result<PlistBytes> archived = KeyedArchiver::archivedData(object);
    ASSERT_TRUE(archived.ok()) << archived.error();
    EXPECT_EQ(archived.value(), KeyedArchiver::archivedData(object).value()) << "the same bytes every time";

    Result<std::shared_ptr<SpeechObject>> decoded = KeyedUnarchiver::unarchive<SpeechObject>(*archived);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    const SpeechObject& copy = **decoded;
    EXPECT_EQ(copy.speechRole(), 2);
    EXPECT_EQ(copy.propertyNames(), object->propertyNames());
    for (const char* language : {"English", "German"}) {
        SCOPED_TRACE(language);
        const auto& original = object->speechTexts().at(language);
        const auto& restored = copy.speechTexts().at(language);
        EXPECT_EQ(restored->speechText(), original->speechText());
        EXPECT_EQ(restored->voice(), original->voice());
        EXPECT_EQ(restored->fileIdentifier(), original->fileIdentifier());
        EXPECT_EQ(restored->synthesizedDuration(), original->synthesizedDuration());
        EXPECT_EQ(restored->speechObject(), &copy);
    }

    // A stored name that is not one of ours never becomes a path: the text is synthesized anew.
    for (const char* stored : {"../../outside.aiff", "/etc/passwd", "speech.aiff", ""}) {
        SCOPED_TRACE(stored);
        object->speechTexts().at("English")->setFileIdentifier(stored);
        Result<PlistBytes> damaged = KeyedArchiver::archivedData(object);
        ASSERT_TRUE(damaged.ok());
        auto reread = KeyedUnarchiver::unarchive<SpeechObject>(*damaged);
        ASSERT_TRUE(reread.ok()) << reread.error();
        std::shared_ptr<SpeechObject> loaded = *reread;
        EXPECT_TRUE(loaded->speechTexts().at("English")->fileIdentifier().empty());
        loaded->setObjectsContainer(container());
        container()->addObject(loaded);
        made_.push_back(loaded);
        loaded->propagateDocument();
        waitForSpeech(*loaded);
        const std::string name = loaded->speechTexts().at("English")->fileIdentifier();
        EXPECT_TRUE(GeneratedSpeech::isPlainSpeechFileName(name)) << name;
        EXPECT_TRUE(fs::exists(livePath(name)));
    }
}

TEST_F(GeneratedSpeechTest, AFailedSynthesisKeepsThePreviousFileAndDuration) {
    auto object = makeSpokenObject({{"English", englishText}});
    const std::shared_ptr<GeneratedSpeech> speech = object->speechTexts().at("English");
    const std::string file = speech->fileIdentifier();
    const double duration = speech->synthesizedDuration();

    // Refused at the start: a voice that does not exist.
    EXPECT_FALSE(object->setVoiceForLanguage("no such voice", "English"));
    EXPECT_EQ(speech->fileIdentifier(), file);
    EXPECT_TRUE(fs::exists(livePath(file)));

    // Failed on the way: the speech folder goes away while a long text is being written. The
    // speech thread may make its temporary file in the folder while it is being removed, so it is
    // removed until it is gone; either way that synthesis has nowhere to put its file.
    object->setVoiceForLanguage(firstVoiceOf("en"), "English");
    speech->setSpeechText(std::string(3000, 'a'));
    std::error_code error;
    for (int attempt = 0; attempt < 1000 && fs::exists(document_.base); ++attempt)
        fs::remove_all(document_.base, error);
    ASSERT_FALSE(fs::exists(document_.base)) << error.message();
    waitForSpeech(*object);
    EXPECT_EQ(speech->fileIdentifier(), file);
    EXPECT_EQ(speech->synthesizedDuration(), duration);
}

TEST_F(GeneratedSpeechTest, CopiesHaveFilesOfTheirOwn) {
    auto object = makeSpokenObject({{"English", englishText}});
    auto copy = std::static_pointer_cast<SpeechObject>(object->copy());
    made_.push_back(copy);
    waitForSpeech(*copy);
    const auto& original = object->speechTexts().at("English");
    const auto& copied = copy->speechTexts().at("English");
    EXPECT_NE(copied, original);
    EXPECT_EQ(copied->speechText(), original->speechText());
    EXPECT_EQ(copied->voice(), original->voice());
    EXPECT_NE(copied->fileIdentifier(), original->fileIdentifier());
    EXPECT_TRUE(fs::exists(livePath(copied->fileIdentifier())));
    EXPECT_TRUE(fs::exists(livePath(original->fileIdentifier())));
    EXPECT_EQ(copied->speechObject(), copy.get());
}

TEST_F(GeneratedSpeechTest, OnlyRolesThatSpeakPlay) {
    struct RoleCase {
        int32_t role;
        bool plays;
    };
    const RoleCase cases[] = {{0, true}, {1, false}, {2, true}};
    auto object = makeSpokenObject({{"English", englishText}});
    object->setStartTimeEndTime(10, object->endTime() + 10);
    object->languageChanged(nullptr);
    ASSERT_NE(object->player(), nullptr);
    for (const RoleCase& c : cases) {
        SCOPED_TRACE(c.role);
        object->setSpeechRole(c.role);
        NotificationCenter::defaultCenter().post("didStartPlay", container(), {{"currentTime", 10.5}});
        EXPECT_EQ(object->playerShouldPlay(), c.plays);
        EXPECT_EQ(object->player()->playerRunning(), c.plays);
        object->setCurrentMovieTime(11.0);
        EXPECT_EQ(object->player()->playerRunning(), c.plays);
        NotificationCenter::defaultCenter().post("didStopPlay", container());
        EXPECT_FALSE(object->player()->playerRunning());
    }

    // A start ahead waits for its time; one within 50 ms of the end starts nothing.
    object->setSpeechRole(0);
    NotificationCenter::defaultCenter().post("didStartPlay", container(), {{"currentTime", 9.0}});
    EXPECT_TRUE(object->hasScheduledPlay());
    EXPECT_FALSE(object->player()->playerRunning());
    ASSERT_TRUE(runMainLoopUntil([&] { return object->player()->playerRunning(); }, 5));
    NotificationCenter::defaultCenter().post("didStopPlay", container());
    NotificationCenter::defaultCenter().post("didStartPlay", container(),
                                             {{"currentTime", object->snapEndTime() - 0.04}});
    EXPECT_FALSE(object->player()->playerRunning());
    EXPECT_FALSE(object->hasScheduledPlay());

    // Another language without a text has no player.
    container()->setLanguageScript(2);
    EXPECT_EQ(object->player(), nullptr);
}

TEST_F(GeneratedSpeechTest, DeletingTheObjectPutsItsFilesInTheCleanUpBasketUntilUndone) {
    auto object = makeSpokenObject({{"English", englishText}});
    const std::vector<std::string> files = object->allGeneratedSpeechFilesPaths();
    ASSERT_EQ(files.size(), 1u);
    SharedMediaManager& media = SharedMediaManager::sharedInstance();
    container()->removeObject(object.get());
    runMainLoopOnce(0);
    EXPECT_EQ(media.cleanUpBasket(&document_), files);
    EXPECT_TRUE(fs::exists(files.front())) << "deleted only when the document closes";
    undoManager().undo();
    EXPECT_TRUE(container()->containsObject(object.get()));
    EXPECT_TRUE(media.cleanUpBasket(&document_).empty());
}
