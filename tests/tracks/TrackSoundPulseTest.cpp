// Playback of an audio track with a mute phase and of a recording's click sounds through the
// PulseAudio daemon of the test command (a null sink), recorded from the sink's monitor: the tone
// where expected, silence in the mute phase, the clicks at their times and none outside the trim.

#include "AudioTrackSupport.h"
#include "audio/support/Signals.h"
#include "audio/support/SinkMonitor.h"
#include "platform/audio/PulseAudioHardware.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vtl {
namespace {

using test::SinkMonitor;
constexpr double kMonitorRate = SinkMonitor::rate;

using PulseClickTrack = test::ClickTrack;

double rmsOver(const std::vector<float>& x, double from, double to) {
    const auto a = static_cast<std::size_t>(std::max(0.0, from) * kMonitorRate);
    const auto b = std::min(x.size(), static_cast<std::size_t>(to * kMonitorRate));
    double sum = 0;
    for (std::size_t i = a; i < b; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
}

// Starts (seconds) of the bursts of high-frequency energy: the tone hardly changes from one sample
// to the next, a click does.
std::vector<double> clickOnsets(const std::vector<float>& x) {
    std::vector<double> onsets;
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (std::fabs(x[i] - x[i - 1]) > 0.08f) {
            onsets.push_back(static_cast<double>(i) / kMonitorRate);
            i += static_cast<std::size_t>(0.15 * kMonitorRate);
        }
    }
    return onsets;
}

class TrackSoundThroughPulse : public test::AudioTrackFixture {};

TEST_F(TrackSoundThroughPulse, ToneMutePhaseAndClicksSoundAtTheirTimes) {
    auto hardware = std::make_shared<PulseAudioHardware>();
    AudioHardware::setShared(hardware);
    document_.keepsPlayhead = false;

    auto tone = audioTrack(test::soundFile("pulse-tone", "0.5*sin(2*PI*440*t)", 3.0));
    ASSERT_TRUE(tone->addNewTriggeredStateAtGlobalTimes(1.0, 1.5));

    auto clicks = makeModelObject<PulseClickTrack>(container());
    clicks->setMediaEntry(entry(test::mediaFixture("h264-360p")));
    clicks->setTrackIndex(0);
    clicks->setClicks({0.1, 0.5, 2.0, 2.8});
    clicks->setMovieStartTimeMovieEndTime(0.3, 2.5);
    clicks->setAudiblizesMouseClicks(true);
    container()->addObject(clicks);

    SinkMonitor monitor(*hardware, 5.0);
    runMainLoopUntil([] { return false; }, 0.3);
    play(0.0);
    runMainLoopUntil([] { return false; }, 3.3);
    document_.stopPlay();
    runMainLoopUntil([] { return false; }, 0.2);
    const std::vector<float> heard = monitor.stop();
    AudioHardware::setShared(nullptr);

    std::size_t first = 0;
    while (first < heard.size() && std::fabs(heard[first]) < 0.05f)
        ++first;
    ASSERT_LT(first, heard.size()) << "nothing was heard";
    const double onset = static_cast<double>(first) / kMonitorRate;
    EXPECT_GT(rmsOver(heard, onset + 0.1, onset + 0.4), 0.3) << "the tone";
    EXPECT_LT(rmsOver(heard, onset + 1.06, onset + 1.44), 0.01) << "the mute phase";
    EXPECT_GT(rmsOver(heard, onset + 1.6, onset + 1.9), 0.3) << "the tone after the mute phase";

    // A stream that runs dry breaks the tone off, which sounds like (and is counted as) a click.
    auto frame = [&](double seconds) { return static_cast<std::size_t>((onset + seconds) * kMonitorRate); };
    for (auto [from, to] : {std::pair{0.0, 0.95}, std::pair{1.55, 2.9}}) {
        const auto dropouts = test::gaps(heard, frame(from), frame(to));
        EXPECT_TRUE(dropouts.empty())
            << "the tone broke off " << dropouts.size() << " time(s), first at "
            << static_cast<double>(dropouts[0].first) / kMonitorRate - onset << " s";
    }
    const std::vector<double> found = clickOnsets(heard);
    ASSERT_EQ(found.size(), 2u) << "clicks before and after the trim window stay silent";
    EXPECT_NEAR(found[0] - onset, 0.5, 0.04);
    EXPECT_NEAR(found[1] - onset, 2.0, 0.04);
}

} // namespace
} // namespace vtl
