#pragma once
// An image filter: named inputs with defaults and an output image built from them. Filters are
// per-render values, configured and read on one thread; the images they make are shared recipes.
// Made by name through the FilterRegistry; the caller owns the filter.

#include "platform/imaging/FilterAttributes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CIFilter {
public:
    explicit CIFilter(std::shared_ptr<const FilterAttributes> attributes);
    virtual ~CIFilter() = default;
    CIFilter(const CIFilter&) = delete;
    CIFilter& operator=(const CIFilter&) = delete;

    // A new filter registered under the name; null (and one log line) for an unknown name.
    static std::unique_ptr<CIFilter> filterWithName(const std::string& name);

    const std::string& name() const { return attributes_->name; }
    const FilterAttributes& attributes() const { return *attributes_; }
    std::vector<std::string> inputKeys() const;
    bool hasInput(const std::string& key) const { return attributes_->input(key) != nullptr; }

    // Every input to its default (images to none).
    void setDefaults();
    // A value of the input's class; an unknown key or a value of another class is ignored with a
    // log line. "none" clears an image input; for other inputs it goes to setNilValueForKey.
    void setValue(const std::string& key, FilterValue value);
    // The input's value, or the output image for "outputImage"; none for an unknown key.
    virtual FilterValue value(const std::string& key) const;

    // The result of the current inputs; none when a required image is missing.
    virtual CIImage outputImage() const = 0;

protected:
    // A number or colour input set to none: ignored with a log line unless a filter knows better.
    virtual void setNilValueForKey(const std::string& key);
    // Stores an accepted value; filters with inputs kept elsewhere override it.
    virtual void storeValue(const std::string& key, FilterValue value);

    // Typed reads for outputImage: the stored value, else the default.
    double number(const std::string& key) const;
    CIColor color(const std::string& key) const;
    CIVector vector(const std::string& key) const;
    CIImage image(const std::string& key) const;

private:
    template <class T> T typed(const std::string& key) const;

    std::shared_ptr<const FilterAttributes> attributes_;
    std::map<std::string, FilterValue, std::less<>> values_;
};

} // namespace vtl
