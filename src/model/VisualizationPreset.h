#pragma once
// Base of the text and mouse visualization presets that objects use. The built-in and user
// presets live in the application's preset stores; a composition keeps its own project copies
// (owned by the objects container), each remembering the preset it was copied from. Concrete
// preset kinds derive from this and add their drawing values. Main thread only.

#include "platform/foundation/KeyedArchivable.h"

#include <memory>
#include <string>
#include <vector>

namespace vtl {

class VisualizationPreset : public Archivable {
public:
    ~VisualizationPreset() override = default;

    const std::string& uid() const { return uid_; }
    void setUid(std::string uid) { uid_ = std::move(uid); }
    const std::string& originalVisualizationUID() const { return originalVisualizationUID_; }
    void setOriginalVisualizationUID(std::string uid) { originalVisualizationUID_ = std::move(uid); }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    bool isProjectCopy() const { return isProjectCopy_; }
    void setIsProjectCopy(bool copy) { isProjectCopy_ = copy; }
    // A preset that comes with the application.
    bool isVistrelOwn() const { return isVistrelOwn_; }
    void setIsVistrelOwn(bool own) { isVistrelOwn_ = own; }
    // A preset made for one object only, not offered in the preset lists.
    bool anonymous() const { return anonymous_; }
    void setAnonymous(bool anonymous) { anonymous_ = anonymous; }

    // A copy for a composition: a new globally unique uid, the original's uid remembered.
    std::shared_ptr<VisualizationPreset> projectCopy() const;

protected:
    // A copy of the same kind with every value.
    virtual std::shared_ptr<VisualizationPreset> clone() const = 0;

private:
    std::string uid_;
    std::string originalVisualizationUID_;
    std::string name_;
    bool isProjectCopy_ = false;
    bool isVistrelOwn_ = false;
    bool anonymous_ = false;
};

using VisualizationList = std::vector<std::shared_ptr<VisualizationPreset>>;

} // namespace vtl
