#pragma once
// A colour space as an opaque tag: pictures and contexts carry one, nothing converts between them
// (every space is treated as device RGB). Shared immutable values; device RGB lives for the run.

#include <memory>
#include <string>

namespace vtl {

class ColorSpace {
public:
    explicit ColorSpace(std::string name)
        : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

    static std::shared_ptr<const ColorSpace> deviceRGB();

private:
    std::string name_;
};

using ColorSpaceRef = std::shared_ptr<const ColorSpace>;

} // namespace vtl
