#include "document/DocumentPackage.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionModelArchiving.h"
#include "model/DocumentMediaManager.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "tracks/CompositionAudioTrackObject.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"
#include "tracks/CompositionVistrelTrack.h"

#include <cmath>
#include <new>

namespace vtl::package {

namespace {

// A canvas guide as stored: its position, and the object it came from, which a stored guide never
// has.
class SnappingGuideRecord : public Archivable {
public:
    double position = 0;
    std::string archivedClassName() const override { return "SnappingGuide"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeObject("object", static_cast<const Archivable*>(nullptr));
        coder.encodeDouble("key_position", position);
    }
    void initWithCoder(KeyedUnarchiver& coder) override {
        position = coder.decodeDoubleForKey("key_position");
    }
};

ArchivedValue guidesValue(const std::vector<double>& positions) {
    ArchivedArray items;
    items.reserve(positions.size());
    for (double position : positions) {
        auto guide = std::make_shared<SnappingGuideRecord>();
        guide->position = position;
        items.emplace_back(std::move(guide));
    }
    return ArchivedValue(std::move(items));
}

std::optional<std::vector<double>> guidesFrom(const ArchivedValue* value) {
    if (!value || !value->arrayValue()) return std::nullopt;
    std::vector<double> positions;
    for (const ArchivedValue& item : *value->arrayValue()) {
        std::optional<double> position;
        if (auto guide = item.objectAs<SnappingGuideRecord>())
            position = guide->position;
        else
            position = item.numberValue();
        if (position && std::isfinite(*position)) positions.push_back(*position);
    }
    return positions;
}

std::optional<PlistDictionary> plistDictionaryFrom(const ArchivedValue* value) {
    if (!value || !value->dictionaryValue()) return std::nullopt;
    PropertyList list = value->toPropertyList();
    if (const PlistDictionary* dictionary = list.dictionaryValue()) return *dictionary;
    return std::nullopt;
}

ReadFailure broken(std::string message) {
    return {ReadFault::Broken, std::move(message)};
}

std::variant<RootValues, ReadFailure> readRootValues(std::span<const std::uint8_t> bytes);

} // namespace

void registerDocumentClasses() {
    static const bool registered = [] {
        ArchiveClassRegistry& registry = ArchiveClassRegistry::shared();
        registerCompositionModelClasses(registry);
        registerVisualObjectClasses(registry);
        CompositionVistrelTrack::registerClasses(registry);
        CompositionMovieTrackObject::registerClasses(registry);
        CompositionAudioTrackObject::registerClasses(registry);
        CompositionGeneratedSpeechTrackObject::registerClasses(registry);
        registry.registerClass<SnappingGuideRecord>("SnappingGuide");
        return true;
    }();
    (void)registered;
}

Result<PlistBytes> archiveRoot(const RootValues& values) {
    registerDocumentClasses();
    ArchivedDictionary root;
    root.set("objects", ArchivedValue(values.container));
    root.set("timeScale", ArchivedValue(values.timeScale));
    root.set("mediaEntries", ArchivedValue::array(values.mediaEntries));
    root.set("expandedCollapsedPropertyViewStates",
             ArchivedValue::fromPropertyList(
                 PropertyList(values.expandedCollapsedPropertyViewStates.value_or(PlistDictionary()))));
    root.set("VistrelDocumentFormatVersion", ArchivedValue(currentFormatVersion));
    root.set("windowFrameDictionary", ArchivedValue::fromPropertyList(PropertyList(
                                          values.windowFrameDictionary.value_or(PlistDictionary()))));
    if (values.identifier) root.set("key_documentIdentifier", ArchivedValue(*values.identifier));
    if (values.lastAddedShape) root.set("lastAddedShape", ArchivedValue(values.lastAddedShape));
    if (values.lastAddedText) root.set("lastAddedText", ArchivedValue(values.lastAddedText));
    if (values.recentlyUsedVoices) {
        ArchivedDictionary voices;
        for (const auto& [language, voice] : *values.recentlyUsedVoices)
            voices.set(language, ArchivedValue(voice));
        root.set("recentlyUsedVoices", ArchivedValue(std::move(voices)));
    }
    if (values.mostRecentLanguageName)
        root.set("mostRecentLanguageName", ArchivedValue(*values.mostRecentLanguageName));
    root.set("horizontalGuides", guidesValue(values.horizontalGuides.value_or(std::vector<double>())));
    root.set("verticalGuides", guidesValue(values.verticalGuides.value_or(std::vector<double>())));
    root.set("document_dontAskAboutEnlargingAgain", ArchivedValue(values.dontAskAboutEnlargingAgain));

    KeyedArchiver coder;
    coder.encodeObject(KeyedArchiver::rootKey, ArchivedValue(std::move(root)));
    return coder.finishEncoding();
}

std::variant<RootValues, ReadFailure> readRoot(std::span<const std::uint8_t> bytes) {
    // An archive within the size limit can still hold more than the memory there is: that is a
    // failure to read it like any other.
    try {
        return readRootValues(bytes);
    } catch (const std::bad_alloc&) {
        return broken("there is not enough memory to read it");
    }
}

namespace {

std::variant<RootValues, ReadFailure> readRootValues(std::span<const std::uint8_t> bytes) {
    registerDocumentClasses();
    if (bytes.size() > maximumArchiveBytes) return broken("the composition file is too large");
    KeyedUnarchiver coder;
    if (Status opened = coder.open(bytes); !opened) return broken(opened.error());
    std::optional<ArchivedDictionary> root = coder.decodeDictionaryForKey(KeyedArchiver::rootKey);
    if (Status decoded = coder.finishDecoding(); !decoded) return broken(decoded.error());
    if (!root) return broken("the composition file holds no root dictionary");

    RootValues values;
    if (const ArchivedValue* version = root->find("VistrelDocumentFormatVersion")) {
        const std::optional<double> number = version->numberValue();
        if (!number || !std::isfinite(*number)) return broken("the format version is not a number");
        if (*number >= firstTooNewFormatVersion)
            return ReadFailure{ReadFault::FormatTooNew, "the composition was saved in a newer format"};
        values.formatVersion = *number < 0 ? 0 : static_cast<std::int32_t>(*number);
    }
    const ArchivedValue* objects = root->find("objects");
    values.container = objects ? objects->objectAs<CompositionObjectsContainer>() : nullptr;
    if (!values.container) return broken("the composition file holds no objects container");

    auto number = [&](const char* key) -> std::optional<double> {
        const ArchivedValue* value = root->find(key);
        std::optional<double> n = value ? value->numberValue() : std::nullopt;
        if (n && !std::isfinite(*n)) n.reset();
        return n;
    };
    auto string = [&](const char* key) -> std::optional<std::string> {
        const ArchivedValue* value = root->find(key);
        if (value && value->stringValue()) return *value->stringValue();
        return std::nullopt;
    };
    values.timeScale = number("timeScale").value_or(0.0);
    if (const ArchivedValue* entries = root->find("mediaEntries"); entries && entries->arrayValue()) {
        for (const ArchivedValue& item : *entries->arrayValue()) {
            if (item.isNil()) continue;
            auto entry = item.objectAs<CompositionMediaEntry>();
            if (!entry) return broken("a media entry is of another class");
            values.mediaEntries.push_back(std::move(entry));
        }
    }
    if (const ArchivedValue* manager = root->find("mediaManager"))
        values.legacyMediaManager = manager->objectAs<DocumentMediaManager>();
    values.expandedCollapsedPropertyViewStates =
        plistDictionaryFrom(root->find("expandedCollapsedPropertyViewStates"));
    values.windowFrameDictionary = plistDictionaryFrom(root->find("windowFrameDictionary"));
    values.identifier = string("key_documentIdentifier");
    if (const ArchivedValue* shape = root->find("lastAddedShape"))
        values.lastAddedShape = shape->objectAs<CompositionBaseObject>();
    if (const ArchivedValue* text = root->find("lastAddedText"))
        values.lastAddedText = text->objectAs<CompositionBaseObject>();
    if (const ArchivedValue* voices = root->find("recentlyUsedVoices"); voices && voices->dictionaryValue()) {
        std::map<std::string, std::string> read;
        for (const auto& [language, voice] : *voices->dictionaryValue())
            if (voice.stringValue()) read[language] = *voice.stringValue();
        values.recentlyUsedVoices = std::move(read);
    }
    values.mostRecentLanguageName = string("mostRecentLanguageName");
    values.horizontalGuides = guidesFrom(root->find("horizontalGuides"));
    values.verticalGuides = guidesFrom(root->find("verticalGuides"));
    values.dontAskAboutEnlargingAgain = number("document_dontAskAboutEnlargingAgain").value_or(0) != 0;
    if (std::optional<double> pps = number("pixelsPerSecond"); pps && *pps > 0) values.pixelsPerSecond = pps;
    return values;
}

} // namespace

} // namespace vtl::package
