#include "inspector/TextVisualizationController.h"

#include "model/CompositionRectangularState.h"
#include "platform/foundation/UserDefaults.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;

class TextStyleStore : public ::testing::Test {
protected:
    TextStyleStore()
        : file_(fs::path(::testing::TempDir()) / ("text-styles-" + std::to_string(::getpid()) + ".plist")) {
        fs::remove(file_);
    }
    ~TextStyleStore() override { fs::remove(file_); }

    fs::path file_;
};

TEST_F(TextStyleStore, EmptyDefaultsGiveTheShippedPresets) {
    UserDefaults defaults(file_);
    TextVisualizationController store(defaults);
    const auto shipped = store.visualizationsVistrelOwn();
    ASSERT_EQ(shipped.size(), 6u);
    for (size_t i = 0; i < shipped.size(); ++i)
        EXPECT_EQ(shipped[i]->name(), "Vistrel " + std::to_string(i + 1));
    const auto& first = shipped[0];
    EXPECT_EQ(first->font(), (ArchivedFont{"Helvetica", 48}));
    EXPECT_EQ(first->alignment(), 1);
    EXPECT_EQ(first->verticalAlignment(), 1);
    EXPECT_TRUE(first->state()->drawsShadow());
    EXPECT_FALSE(first->state()->drawsBackground());
    EXPECT_FLOAT_EQ(first->state()->shadowDistance(), 5);
    EXPECT_TRUE(shipped[1]->state()->drawsFrame());
    EXPECT_FLOAT_EQ(shipped[1]->horizontalPadding(), 20);
    EXPECT_EQ(shipped[3]->font(), (ArchivedFont{"Courier", 24}));
    EXPECT_TRUE(store.visualizationsUser().empty());
    EXPECT_EQ(store.visualizationAtIndex(99), store.availableVisualizations().front());
}

TEST_F(TextStyleStore, StoredPresetsComeBackWithoutNewBuiltIns) {
    {
        UserDefaults defaults(file_);
        TextVisualizationController store(defaults);
        auto mine = store.copyOfVisualization(*store.visualizationsVistrelOwn().front());
        mine->setName("Mine");
        ASSERT_TRUE(store.synchronize().ok());
    }
    UserDefaults defaults(file_);
    TextVisualizationController store(defaults);
    EXPECT_EQ(store.availableVisualizations().size(), 7u);
    ASSERT_EQ(store.visualizationsUser().size(), 1u);
    EXPECT_EQ(store.visualizationsUser()[0]->name(), "Mine");
    EXPECT_EQ(store.visualizationsUser()[0]->font(), (ArchivedFont{"Helvetica", 48}));

    // Damaged data: the shipped presets again.
    ASSERT_TRUE(
        defaults.set(TextVisualizationController::userDefaultsKey, PropertyList(PlistBytes{1, 2, 3})).ok());
    TextVisualizationController damaged(defaults);
    EXPECT_EQ(damaged.availableVisualizations().size(), 6u);
}

TEST_F(TextStyleStore, CopiesAndProjectCopies) {
    UserDefaults defaults(file_);
    TextVisualizationController store(defaults);
    const auto preset = store.visualizationsVistrelOwn().front();
    auto copy = store.copyOfVisualization(*preset);
    EXPECT_NE(copy->uid, preset->uid);
    EXPECT_FALSE(copy->vistrelOwn);
    EXPECT_FALSE(copy->isProjectCopy);
    EXPECT_EQ(store.availableVisualizations().back(), copy);

    const size_t count = store.availableVisualizations().size();
    auto project = store.projectCopyOfVisualization(*preset);
    EXPECT_NE(project->uid, preset->uid);
    EXPECT_EQ(project->originalVisualizationUID, preset->uid);
    EXPECT_TRUE(project->isProjectCopy);
    EXPECT_EQ(store.availableVisualizations().size(), count) << "not added to the store";
}

} // namespace
} // namespace vtl
