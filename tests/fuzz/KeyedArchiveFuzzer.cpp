// Feeds arbitrary bytes to the keyed-archive reader (through a class that reads every kind of
// value) and to the archive dump. Decoded objects keep only raw links to each other, so a hostile
// graph cannot form ownership cycles here; the unarchiver owns every object while it lives.

#include "platform/foundation/KeyedArchiveDump.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

struct FuzzNode : vtl::Archivable {
    std::string archivedClassName() const override { return "FuzzNode"; }
    void encodeWithCoder(vtl::KeyedArchiver& coder) const override {
        coder.encodeInt32("count", count);
        coder.encodeObject("parent", parent);
    }
    void initWithCoder(vtl::KeyedUnarchiver& coder) override {
        count = coder.decodeInt32("count");
        (void)coder.decodeBool("flag");
        (void)coder.decodeInt64("large");
        (void)coder.decodeFloat("single");
        (void)coder.decodeDouble("precise");
        (void)coder.decodeBytes("bytes");
        (void)coder.decodePoint("point");
        (void)coder.decodeSize("size");
        (void)coder.decodeRect("rect");
        (void)coder.decodeString("name");
        (void)coder.decodeNumber("number");
        (void)coder.decodeDate("date");
        (void)coder.decodeColor("color");
        (void)coder.decodeFont("font");
        (void)coder.decodeImage("image");
        (void)coder.decodeDictionary("dict");
        (void)coder.decodeOptionalNumber("key_opacityObject", "key_no_opacity");
        parent = coder.decodeObjectOfClass<FuzzNode>("parent").get();
        for (const auto& child : coder.decodeArrayOfObjects<FuzzNode>("children"))
            count += child ? 1 : 0;
        if (!coder.containsValueForKey("key_name")) (void)coder.decodeObject("object");
    }
    std::int32_t count = 0;
    FuzzNode* parent = nullptr;
};

const vtl::ArchiveClassRegistry& registry() {
    static vtl::ArchiveClassRegistry r;
    static const bool registered = [] {
        r.registerClass<FuzzNode>("FuzzNode");
        r.registerClass("FuzzAbstract", "NSObject", nullptr);
        return true;
    }();
    (void)registered;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    {
        vtl::KeyedUnarchiver coder(registry());
        if (coder.open(bytes).ok()) {
            std::shared_ptr<FuzzNode> root = coder.decodeObjectOfClass<FuzzNode>("root");
            (void)coder.decodeObject("other");
            // A decoded object archives again.
            if (root && !coder.failed()) (void)vtl::KeyedArchiver::archivedData(root, registry());
        }
    }
    (void)vtl::dumpKeyedArchive(bytes);
    return 0;
}
