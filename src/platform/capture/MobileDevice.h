#pragma once
// A connected iOS device as a capture device: its screen as encoded H.264 samples and its sound as
// linear PCM, handed out on threads of the device (the audio preview is a second copy of the sound
// for playing it live). This system has no way to reach such a device: listMobileDevices() is
// empty and openMobileDevice() fails; a synthetic source stands in, fed by its owner. Owned by
// whoever opened it (the iOS-device recorder).

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

enum class MobileSampleKind { Video, Audio, AudioPreview };

struct MobileDeviceSample {
    MobileSampleKind kind = MobileSampleKind::Video;
    bool dataReady = true;
    // Video: whether the sample needs earlier ones to decode (not a sync sample). Sound never does.
    bool dependsOnOthers = false;
    // Seconds on the device's clock; NaN where the device gave none.
    double presentationTimeSeconds = 0;
    double durationSeconds = 0;
    // Video: one H.264 access unit (length-prefixed NAL units) with the picture size and the
    // decoder configuration ("avcC") of its stream.
    // Sound: interleaved 32-bit float frames.
    std::shared_ptr<const std::vector<std::uint8_t>> data;
    int widthPixels = 0;
    int heightPixels = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> codecConfiguration;
    int sampleRate = 0;
    int channelCount = 0;
    std::size_t frameCount = 0;
};

using MobileDeviceCallback = std::function<void(const MobileDeviceSample& sample)>;

struct MobileDeviceDescription {
    std::string uniqueID;
    std::string localizedName;
};

class MobileDevice {
public:
    virtual ~MobileDevice() = default;
    MobileDevice(const MobileDevice&) = delete;
    MobileDevice& operator=(const MobileDevice&) = delete;

    virtual const MobileDeviceDescription& description() const = 0;
    virtual Status start(MobileDeviceCallback callback) = 0;
    // The callback is not called after stop() returned.
    virtual void stop() = 0;

protected:
    MobileDevice() = default;
};

// The synthetic device: hands out exactly what its owner delivers, on the owner's thread.
class SyntheticMobileDevice final : public MobileDevice {
public:
    explicit SyntheticMobileDevice(MobileDeviceDescription description);
    ~SyntheticMobileDevice() override;

    const MobileDeviceDescription& description() const override { return description_; }
    Status start(MobileDeviceCallback callback) override;
    void stop() override;
    // Hands the sample to the callback while started; false when not started.
    bool deliver(const MobileDeviceSample& sample);

private:
    struct Shared;
    MobileDeviceDescription description_;
    std::shared_ptr<Shared> shared_;
};

std::vector<MobileDeviceDescription> listMobileDevices();
Result<std::unique_ptr<MobileDevice>> openMobileDevice(const std::string& uniqueID);

} // namespace vtl
