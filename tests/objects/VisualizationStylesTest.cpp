// The mouse and text styles: their keyed archive (shared with the recorder program and every
// stored recording), copy rules, names and the change announcements of text styles.

#include "model/CompositionDocumentServices.h"
#include "model/CompositionRectangularState.h"
#include "model/CompositionUndoManager.h"
#include "objects/MouseVisualization.h"
#include "objects/RectangularObjectArchiving.h"
#include "objects/TextVisualization.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/NotificationCenter.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vtl {
namespace {

PlistBytes readFixture(const char* name) {
    const auto path = std::filesystem::path(VISTREL_OBJECTS_FIXTURES) / name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return PlistBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Archives written by the first recorder program, before the style moved to the visual objects.
TEST(MouseVisualizationArchive, StoredArchivesDecodeToTheirValuesAndEncodeToTheSameBytes) {
    const PlistBytes full = readFixture("mouse-visualization-full.bin");
    auto read = MouseVisualization::unarchive(full);
    ASSERT_TRUE(read) << read.error();
    const MouseVisualization& style = *read.value();
    EXPECT_EQ(style.uid, "6B1D2C7E-3F21-4A55-9E0B-2D4C8A7F1E90");
    EXPECT_EQ(style.name(), "Big red clicks");
    EXPECT_TRUE(style.vistrelOwn);
    EXPECT_TRUE(style.documentSpecific);
    EXPECT_TRUE(style.isProjectCopy);
    EXPECT_EQ(style.originalVisualizationUID, "0F3E5B2A-9C71-4D88-8B16-7A2E4C9D0B13");
    EXPECT_EQ(style.duration, 0.75);
    EXPECT_EQ(style.strength, 5);
    EXPECT_EQ(style.size, 33.5f);
    EXPECT_TRUE(style.filled);
    EXPECT_FALSE(style.visualizesClicks);
    EXPECT_FALSE(style.visualizeMouseCursor);
    EXPECT_EQ(style.leftClickColor, (ArchivedColor{0.1, 0.2, 0.3, 0.4, ArchivedColor::deviceRgb}));
    EXPECT_EQ(style.rightClickColor, (ArchivedColor{0.9, 0.5, 0.25, 1, ArchivedColor::calibratedRgb}));
    EXPECT_EQ(style.clickFont, (ArchivedFont{"DejaVu Sans", 15}));
    EXPECT_EQ(style.clickFontColor, (ArchivedColor{1, 0, 0, 1, ArchivedColor::deviceRgb}));
    EXPECT_TRUE(style.showClickCount);
    EXPECT_TRUE(style.showMouseWheel);
    EXPECT_TRUE(style.showButtonName);
    EXPECT_TRUE(style.clickBump);
    EXPECT_EQ(style.clickBumpWidth, 12.0f);
    EXPECT_EQ(style.clickBumpExtent, 44.25f);
    EXPECT_EQ(style.archivedData().value(), full);

    const PlistBytes defaults = readFixture("mouse-visualization-defaults.bin");
    auto plain = MouseVisualization::unarchive(defaults);
    ASSERT_TRUE(plain) << plain.error();
    MouseVisualization fresh;
    fresh.uid = "A9C3E1F0-5B7D-4E2A-8C64-1F0E9D3B7A25";
    EXPECT_TRUE(plain.value()->sameStoredValues(fresh));
    EXPECT_EQ(plain.value()->name(), fresh.uid) << "a style without a name is called by its uid";
    EXPECT_EQ(plain.value()->archivedData().value(), defaults);
}

// An older archive of the style that holds nothing but its uid.
struct UidOnlyStyle final : Archivable {
    std::string archivedClassName() const override { return "MouseVisualization"; }
    void encodeWithCoder(KeyedArchiver& coder) const override { coder.encodeString("key_uid", "U1"); }
    void initWithCoder(KeyedUnarchiver&) override {}
};

TEST(MouseVisualizationArchive, MissingKeysReadAsZeroOrOffExceptTheTwoSwitches) {
    MouseVisualization::registerClasses();
    auto bytes = KeyedArchiver::archivedData(std::make_shared<UidOnlyStyle>());
    ASSERT_TRUE(bytes) << bytes.error();
    auto read = MouseVisualization::unarchive(bytes.value());
    ASSERT_TRUE(read) << read.error();
    const MouseVisualization& style = *read.value();
    EXPECT_EQ(style.duration, 0);
    EXPECT_EQ(style.size, 0);
    EXPECT_EQ(style.strength, 0);
    EXPECT_FALSE(style.isProjectCopy);
    EXPECT_TRUE(style.visualizesClicks);
    EXPECT_TRUE(style.visualizeMouseCursor);
    EXPECT_EQ(style.name(), "U1");

    EXPECT_FALSE(MouseVisualization::unarchive(PlistBytes{1, 2, 3}));
}

TEST(MouseVisualizationCopy, KeepsTheDrawingValuesAndStartsTheRestFromTheDefaults) {
    auto style = makeModelObject<MouseVisualization>();
    style->setName("Red");
    style->vistrelOwn = true;
    style->isProjectCopy = true;
    style->setDuration(2.5);
    style->setStrength(7);
    style->setSize(31);
    style->setFilled(true);
    style->setLeftClickColor({0, 1, 0, 1, ArchivedColor::deviceRgb});
    style->setClickFont({"DejaVu Sans", 9});
    style->setShowClickCount(true);
    style->setClickFontColor({1, 0, 0, 1, ArchivedColor::deviceRgb});
    style->setVisualizesClicks(false);
    style->setClickBump(true);

    auto copied = std::dynamic_pointer_cast<MouseVisualization>(style->copy());
    ASSERT_TRUE(copied);
    EXPECT_NE(copied->uid, style->uid);
    EXPECT_FALSE(copied->vistrelOwn);
    EXPECT_FALSE(copied->isProjectCopy);
    EXPECT_EQ(copied->name(), "Red");
    EXPECT_EQ(copied->duration, 2.5);
    EXPECT_EQ(copied->strength, 7);
    EXPECT_EQ(copied->size, 31.0f);
    EXPECT_TRUE(copied->filled);
    EXPECT_EQ(copied->leftClickColor, style->leftClickColor);
    EXPECT_EQ(copied->clickFont, style->clickFont);
    EXPECT_TRUE(copied->showClickCount);
    const MouseVisualization defaults;
    EXPECT_EQ(copied->clickFontColor, defaults.clickFontColor) << "the dark grey default";
    EXPECT_TRUE(copied->visualizesClicks);
    EXPECT_FALSE(copied->clickBump);

    auto project = style->projectCopy();
    EXPECT_TRUE(project->isProjectCopy);
    EXPECT_EQ(project->originalVisualizationUID, style->uid);
    EXPECT_NE(project->uid, style->uid);
}

TEST(MouseVisualizationCopy, ObserversSeeTheSetters) {
    auto style = makeModelObject<MouseVisualization>();
    std::vector<std::string> seen;
    for (const char* key : {"duration", "size", "showMouseWheel"})
        style->addObserver(key, KeyValueObservingOptions::newValue, nullptr,
                           [&](const KeyValueChange& change) { seen.push_back(change.key); });
    style->setDuration(3);
    style->setSize(4);
    style->setShowMouseWheel(true);
    EXPECT_EQ(seen, (std::vector<std::string>{"duration", "size", "showMouseWheel"}));
    EXPECT_TRUE(style->setValueForKey("strength", std::any(std::int32_t{9})));
    EXPECT_EQ(style->strength, 9);
}

TEST(TextAlpha, FadesInTheSecondHalf) {
    const std::pair<float, float> cases[] = {{0.0f, 1.0f}, {0.5f, 1.0f}, {0.75f, 0.5f}, {1.0f, 0.0f}};
    for (auto [progress, alpha] : cases)
        EXPECT_FLOAT_EQ(textAlphaForProgress(progress), alpha) << progress;
    EXPECT_EQ(textAlphaForProgress(std::nanf("")), 1.0f);
}

TEST(TextVisualizationStyle, AlignmentNumbersMapToParagraphAlignment) {
    auto style = makeModelObject<TextVisualization>();
    EXPECT_EQ(style->attributes().alignment, TextStyleAttributes::Alignment::Center) << "centred by default";
    const std::pair<std::int32_t, TextStyleAttributes::Alignment> cases[] = {
        {0, TextStyleAttributes::Alignment::Left},
        {2, TextStyleAttributes::Alignment::Right},
        {3, TextStyleAttributes::Alignment::Justified},
        {7, TextStyleAttributes::Alignment::Natural},
        {-1, TextStyleAttributes::Alignment::Natural}};
    for (auto [number, expected] : cases) {
        style->setAlignment(number);
        EXPECT_EQ(style->attributes().alignment, expected) << number;
        EXPECT_EQ(style->attributes().lineBreakMode, TextStyleAttributes::LineBreak::WordWrapping);
    }
    style->setColor({0, 0, 1, 1, ArchivedColor::deviceRgb});
    EXPECT_EQ(style->attributes().foregroundColor, style->color());
    style->setFont({"DejaVu Serif", 20});
    EXPECT_EQ(style->attributes().font, (ArchivedFont{"DejaVu Serif", 20}));
}

TEST(TextVisualizationStyle, CopiesHaveTheirOwnStateAndAreNotAnonymous) {
    auto style = makeModelObject<TextVisualization>();
    style->setAnonymous(false);
    EXPECT_TRUE(style->anonymous()) << "an object's own style stays its own";
    style->setHorizontalPadding(3);
    style->state()->setShadowColor(RGBAColor::device(0, 1, 0));
    auto copied = std::dynamic_pointer_cast<TextVisualization>(style->copy());
    ASSERT_TRUE(copied);
    EXPECT_FALSE(copied->anonymous());
    EXPECT_EQ(copied->horizontalPadding(), 3.0f);
    ASSERT_NE(copied->state(), style->state());
    EXPECT_EQ(copied->state()->shadowColor(), RGBAColor::device(0, 1, 0));
    copied->state()->setShadowColor(RGBAColor::device(1, 1, 0));
    EXPECT_EQ(style->state()->shadowColor(), RGBAColor::device(0, 1, 0));
}

// Counts the style's change announcements.
struct AnnouncementCounter {
    explicit AnnouncementCounter(const void* style) {
        token = NotificationCenter::defaultCenter().addObserver(
            kVisualizationDidUndoChangeNotification, style, [this](const Notification&) { ++count; });
    }
    ~AnnouncementCounter() { NotificationCenter::defaultCenter().removeObserver(token); }
    int count = 0;
    NotificationCenter::Token token = 0;
};

class UndoDocument : public CompositionDocumentServices {
public:
    CompositionUndoManager* undoManager() override { return &manager; }
    CompositionUndoManager manager;
};

TEST(TextVisualizationStyle, EachStateChangeIsAnnouncedOnceAndUndoes) {
    UndoDocument document;
    auto style = makeModelObject<TextVisualization>();
    style->setDocument(&document);
    AnnouncementCounter counter(style.get());
    runMainLoopOnce(0);
    style->state()->setCornerRadius(6);
    runMainLoopOnce(0);
    EXPECT_EQ(counter.count, 1);
    document.manager.undo();
    EXPECT_EQ(style->state()->cornerRadius(), 0.0f);
    EXPECT_EQ(counter.count, 2) << "the undo is announced once too";
    document.manager.redo();
    EXPECT_EQ(style->state()->cornerRadius(), 6.0f);

    // A replaced state is no longer watched.
    auto old = style->state();
    style->setState(makeModelObject<CompositionRectangularState>(nullptr));
    const int before = counter.count;
    old->setCornerRadius(9);
    EXPECT_EQ(counter.count, before);
}

TEST(TextVisualizationStyle, ArchiveRoundTripKeepsEveryValue) {
    registerVisualObjectClasses();
    auto style = makeModelObject<TextVisualization>();
    style->setName("Title");
    style->isProjectCopy = true;
    style->setFont({"DejaVu Sans", 33});
    style->setColor({0.5, 0.25, 0, 1, ArchivedColor::deviceRgb});
    style->setAlignment(2);
    style->setVerticalAlignment(1);
    style->setAppearMode(2);
    style->setHorizontalPadding(4);
    style->setVerticalPadding(6);
    style->setAnonymous(true);
    style->state()->setCornerRadius(5);
    auto bytes = KeyedArchiver::archivedData(style);
    ASSERT_TRUE(bytes) << bytes.error();
    auto read = KeyedUnarchiver::unarchive<TextVisualization>(bytes.value());
    ASSERT_TRUE(read) << read.error();
    const TextVisualization& copy = *read.value();
    EXPECT_EQ(copy.uid, style->uid);
    EXPECT_TRUE(copy.isProjectCopy);
    EXPECT_EQ(copy.font(), style->font());
    EXPECT_EQ(copy.color(), style->color());
    EXPECT_EQ(copy.alignment(), 2);
    EXPECT_EQ(copy.attributes().alignment, TextStyleAttributes::Alignment::Right);
    EXPECT_EQ(copy.verticalAlignment(), 1);
    EXPECT_EQ(copy.appearMode(), 2);
    EXPECT_EQ(copy.horizontalPadding(), 4.0f);
    EXPECT_EQ(copy.verticalPadding(), 6.0f);
    EXPECT_TRUE(copy.anonymous());
    ASSERT_TRUE(copy.state());
    EXPECT_EQ(copy.state()->cornerRadius(), 5.0f);
    EXPECT_EQ(KeyedArchiver::archivedData(read.value()).value(), bytes.value());
}

} // namespace
} // namespace vtl
