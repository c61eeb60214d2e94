#include "platform/imaging/ColorSpace.h"

namespace vtl {

std::shared_ptr<const ColorSpace> ColorSpace::deviceRGB() {
    static const auto space = std::make_shared<const ColorSpace>("DeviceRGB");
    return space;
}

} // namespace vtl
