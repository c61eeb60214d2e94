#pragma once
// The interface of a model class that is written to and read from keyed archives by class name and
// keys. Objects are held by std::shared_ptr; back-pointers (a parent, a delegate) stay raw or weak so
// object graphs with cycles can be archived and decoded.

#include <string>

namespace vtl {

class KeyedArchiver;
class KeyedUnarchiver;

class Archivable {
public:
    virtual ~Archivable() = default;

    // The class name stored in archives; part of the stored format. The superclass chain comes
    // from the class registry (ArchiveClassRegistry).
    virtual std::string archivedClassName() const = 0;

    // Writes the object's keys. Shared and cyclic references are handled by the archiver.
    virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;

    // Fills a freshly created object from its keys. Called after the object is registered for its
    // archive reference, so a reference back to it from inside (a child's parent) resolves to this
    // same, still partly filled, object. Faults go to coder.fail(); decode calls then give neutral
    // values.
    virtual void initWithCoder(KeyedUnarchiver& coder) = 0;
};

} // namespace vtl
