#pragma once
// What the export mix and text track tests share: a document with a speech folder of its own, on
// the null audio backend, that makes audio tracks of sound files (made by the ffmpeg tool), speech
// objects whose texts are synthesized and waited for, and a movie track with recorded clicks.

#include "AudioTrackSupport.h"
#include "audio/PcmFileOpener.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "model/VistrelLanguage.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vtl::test {

class ExportMixDocument : public CompositionDocument {
public:
    std::string generatedSpeechBasePath() const override { return speechFolder; }
    std::string speechFolder;
};

class ExportMixFixture : public ::testing::Test {
protected:
    ExportMixFixture()
        : media_(std::filesystem::path(scratchFolder()) / "export-mix-media") {
        registerVisualObjectClasses();
        CompositionAudioTrackObject::registerClasses();
        CompositionGeneratedSpeechTrackObject::registerClasses();
        AudioHardware::setShared(std::make_shared<NullAudioHardware>());
        static int counter = 0;
        document_.speechFolder = scratchFolder() + "/export-speech-" + std::to_string(counter++);
        std::filesystem::create_directories(document_.speechFolder);
    }
    ~ExportMixFixture() override {
        for (const auto& track : tracks_)
            track->cancelTrackExtraction();
        for (const auto& speech : speeches_)
            speech->stopGeneratingSpeech();
        waitOnMainLoopFor([] { return !CompositionTrackObject::currentlyExtractingTrack(); }, 10);
        runMainLoopOnce(0);
        setPcmFileOpener({});
        AudioHardware::setShared(nullptr);
    }

    CompositionObjectsContainer* container() { return document_.objectsContainer().get(); }

    static std::shared_ptr<VistrelLanguage> language(int32_t code) {
        return VistrelLanguage::languageWithLanguageScript(code);
    }

    // A sine of `frequency` Hz at amplitude 0.5, `seconds` long.
    static std::string toneFile(int frequency, double seconds) {
        return soundFile("export-tone-" + std::to_string(frequency) + "-" + std::to_string(seconds),
                         "0.5*sin(2*PI*" + std::to_string(frequency) + "*t)", seconds);
    }

    std::shared_ptr<CompositionAudioTrackObject> audioTrack(const std::string& path, int32_t languageCode,
                                                            double startTime) {
        auto track = makeModelObject<CompositionAudioTrackObject>(container());
        track->setMediaEntry(media_.entryForResourceWithFileSystemPath(
            path, &document_, SharedMediaManager::ResourceCopy::None));
        track->setTrackIndex(0);
        track->setVistrelLanguage(language(languageCode));
        container()->addObject(track);
        if (startTime != 0) track->setStartTime(startTime);
        tracks_.push_back(track);
        return track;
    }

    // A speech object at `startTime` with one text per English language name, synthesized.
    std::shared_ptr<CompositionGeneratedSpeechTrackObject>
    speechObject(std::initializer_list<std::pair<const char*, const char*>> texts, SpeechRole role,
                 double startTime) {
        auto object = makeModelObject<CompositionGeneratedSpeechTrackObject>(container());
        // Placed first, so it lands on a track free at its time.
        object->setStartTimeEndTime(startTime, startTime + 4.0);
        container()->addObject(object);
        speeches_.push_back(object);
        for (const auto& [languageName, text] : texts) {
            object->addTextForLanguage(languageName);
            object->setStringForLanguage(text, languageName);
        }
        EXPECT_TRUE(runMainLoopUntil([&] { return !object->isGeneratingSpeech(); }, 120));
        runMainLoopOnce(0);
        object->setSpeechRole(static_cast<int32_t>(role));
        const double length = object->endTime() - object->startTime();
        object->setStartTimeEndTime(startTime, startTime + length);
        return object;
    }

    // A movie track (of the 6 s test movie) at `startTime` whose clicks at media times sound.
    std::shared_ptr<ClickTrack> clickTrack(const std::vector<double>& clicks, double startTime,
                                           int32_t languageCode) {
        auto track = makeModelObject<ClickTrack>(container());
        track->setMediaEntry(media_.entryForResourceWithFileSystemPath(
            mediaFixture("h264-360p"), &document_, SharedMediaManager::ResourceCopy::None));
        track->setTrackIndex(0);
        track->setClicks(clicks);
        track->setVistrelLanguage(language(languageCode));
        container()->addObject(track);
        track->setStartTime(startTime);
        track->setAudiblizesMouseClicks(true);
        clickTracks_.push_back(track);
        return track;
    }

    ExportMixDocument document_;
    SharedMediaManager media_;
    std::vector<std::shared_ptr<CompositionAudioTrackObject>> tracks_;
    std::vector<std::shared_ptr<CompositionGeneratedSpeechTrackObject>> speeches_;
    std::vector<std::shared_ptr<ClickTrack>> clickTracks_;
};

} // namespace vtl::test
