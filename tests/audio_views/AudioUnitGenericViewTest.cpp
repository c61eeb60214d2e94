#include "audio/views/AudioUnitGenericView.h"

#include "audio/DelayUnit.h"
#include "audio/MultiModeFilterUnit.h"
#include "audio/ReverbUnit.h"

#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <gtest/gtest.h>
#include <memory>

namespace vtl {
namespace {

class WidgetsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "audio_views_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

TEST(AudioUnitGenericView, ControlsSetParametersAndFollowPresets) {
    ReverbUnit reverb;
    AudioUnitGenericView view(reverb);
    auto* decay = view.findChild<QSlider*>("Decay Time");
    ASSERT_TRUE(decay);
    decay->setValue(1000);
    EXPECT_EQ(reverb.parameter(ReverbUnit::DecayTime), 10.0f);

    auto* presets = view.findChild<QComboBox*>("presets");
    ASSERT_TRUE(presets);
    EXPECT_EQ(presets->count(), 4);
    presets->activated(0); // "Small Room"
    EXPECT_EQ(reverb.parameter(ReverbUnit::DecayTime), 0.4f);
    EXPECT_NEAR(decay->value(), (0.4 - 0.1) / 9.9 * 1000, 1);

    // A parameter with named values is a menu; a unit without presets has no preset menu.
    MultiModeFilterUnit filter;
    AudioUnitGenericView filterView(filter);
    auto* mode = filterView.findChild<QComboBox*>("Mode");
    ASSERT_TRUE(mode);
    mode->activated(2);
    EXPECT_EQ(filter.parameter(MultiModeFilterUnit::Mode), 2.0f);
    EXPECT_FALSE(filterView.findChild<QComboBox*>("presets"));
}

} // namespace
} // namespace vtl
