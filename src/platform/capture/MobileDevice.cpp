#include "platform/capture/MobileDevice.h"

#include <mutex>

namespace vtl {

struct SyntheticMobileDevice::Shared {
    std::mutex mutex;
    MobileDeviceCallback callback;
};

SyntheticMobileDevice::SyntheticMobileDevice(MobileDeviceDescription description)
    : description_(std::move(description))
    , shared_(std::make_shared<Shared>()) {}

SyntheticMobileDevice::~SyntheticMobileDevice() {
    stop();
}

Status SyntheticMobileDevice::start(MobileDeviceCallback callback) {
    std::lock_guard lock(shared_->mutex);
    if (shared_->callback) return fail("The device is delivering already.");
    shared_->callback = std::move(callback);
    return {};
}

void SyntheticMobileDevice::stop() {
    std::lock_guard lock(shared_->mutex);
    shared_->callback = nullptr;
}

bool SyntheticMobileDevice::deliver(const MobileDeviceSample& sample) {
    // Held while delivering, so stop() waits for a delivery under way.
    std::lock_guard lock(shared_->mutex);
    if (!shared_->callback) return false;
    shared_->callback(sample);
    return true;
}

std::vector<MobileDeviceDescription> listMobileDevices() {
    return {};
}

Result<std::unique_ptr<MobileDevice>> openMobileDevice(const std::string& uniqueID) {
    return fail("The iOS device " + uniqueID +
                " cannot be reached: this system has no connection to iOS devices.");
}

} // namespace vtl
