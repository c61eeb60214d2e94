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
        count = coder.decodeInt32ForKey("count");
        (void)coder.decodeBoolForKey("flag");
        (void)coder.decodeInt64ForKey("large");
        (void)coder.decodeFloatForKey("single");
        (void)coder.decodeDoubleForKey("precise");
        (void)coder.decodeBytesForKey("bytes");
        (void)coder.decodePointForKey("point");
        (void)coder.decodeSizeForKey("size");
        (void)coder.decodeRectForKey("rect");
        (void)coder.decodeStringForKey("name");
        (void)coder.decodeNumberForKey("number");
        (void)coder.decodeDateForKey("date");
        (void)coder.decodeColorForKey("color");
        (void)coder.decodeFontForKey("font");
        (void)coder.decodeImageForKey("image");
        (void)coder.decodeDictionaryForKey("dict");
        (void)coder.decodeOptionalNumber("key_opacityObject", "key_no_opacity");
        parent = coder.decodeObjectOfClass<FuzzNode>("parent").get();
        for (const auto& child : coder.decodeArrayOfObjects<FuzzNode>("children"))
            count += child ? 1 : 0;
        if (!coder.containsValueForKey("key_name")) (void)coder.decodeObjectForKey("object");
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
            (void)coder.decodeObjectForKey("other");
            // A decoded object archives again.
            if (root && !coder.failed()) (void)vtl::KeyedArchiver::archivedData(root, registry());
        }
    }
    (void)vtl::dumpKeyedArchive(bytes);
    return 0;
}
