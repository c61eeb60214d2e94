#pragma once
// Writes chosen keys under a class name, as an older, foreign or damaged writer would, for tests
// of decoding.

#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/KeyedArchiver.h"

#include <functional>
#include <string>
#include <utility>

namespace vtl::test {

struct ArchiveWriter : Archivable {
    ArchiveWriter(std::string name, std::function<void(KeyedArchiver&)> write)
        : className(std::move(name))
        , writeKeys(std::move(write)) {}
    std::string archivedClassName() const override { return className; }
    void encodeWithCoder(KeyedArchiver& coder) const override { writeKeys(coder); }
    void initWithCoder(KeyedUnarchiver&) override {}
    std::string className;
    std::function<void(KeyedArchiver&)> writeKeys;
};

} // namespace vtl::test
