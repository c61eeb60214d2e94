#include "platform/foundation/KeyedArchiveDump.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace vtl {
namespace {

// A node of a graph: owned children, a raw back-pointer to the parent, a shared link and a
// conditional delegate.
struct Node : Archivable {
    std::string name;
    Node* parent = nullptr;
    std::vector<std::shared_ptr<Node>> children;
    std::shared_ptr<Node> link;
    Node* delegate = nullptr;

    std::string archivedClassName() const override { return "TestNode"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeString("name", name);
        coder.encodeObject("parent", parent);
        coder.encodeArray("children", children);
        coder.encodeObject("link", ArchivedValue(link));
        coder.encodeConditionalObject("delegate", delegate);
    }
    void initWithCoder(KeyedUnarchiver& coder) override {
        name = coder.decodeStringForKey("name").value_or("");
        parent = coder.decodeObjectOfClass<Node>("parent").get();
        children = coder.decodeArrayOfObjects<Node>("children");
        link = coder.decodeObjectOfClass<Node>("link");
        delegate = coder.decodeObjectOfClass<Node>("delegate").get();
    }
};

struct SpecialNode : Node {
    std::string archivedClassName() const override { return "TestSpecialNode"; }
};

// Every kind of value the coder handles.
struct Values : Archivable {
    bool flag = false;
    std::int32_t small = 0;
    std::int64_t large = 0;
    float single = 0;
    double precise = 0;
    PlistBytes bytes;
    Point point;
    Size size;
    Rect rect;
    std::optional<std::string> text;
    std::optional<double> number;
    std::optional<PlistDate> date;
    std::optional<ArchivedColor> color;
    std::optional<ArchivedFont> font;
    std::optional<ArchivedImage> image;
    std::optional<ArchivedArray> list;
    std::optional<ArchivedDictionary> dict;
    KeyedUnarchiver::OptionalNumber opacity;
    std::optional<double> opacityToWrite;
    std::string dollarKeyValue;

    std::string archivedClassName() const override { return "TestValues"; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeBool("flag", flag);
        coder.encodeInt32("small", small);
        coder.encodeInt64("large", large);
        coder.encodeFloat("single", single);
        coder.encodeDouble("precise", precise);
        coder.encodeBytes("bytes", bytes);
        coder.encodePoint("point", point);
        coder.encodeSize("size", size);
        coder.encodeRect("rect", rect);
        if (text) coder.encodeString("text", *text);
        if (number) coder.encodeNumber("number", *number);
        if (date) coder.encodeObject("date", ArchivedValue(*date));
        if (color) coder.encodeColor("color", *color);
        if (font) coder.encodeFont("font", *font);
        if (image) coder.encodeImage("image", *image);
        if (list) coder.encodeObject("list", ArchivedValue(*list));
        if (dict) coder.encodeObject("dict", ArchivedValue(*dict));
        coder.encodeOptionalNumber("key_opacityObject", "key_no_opacity", opacityToWrite);
        if (!dollarKeyValue.empty()) coder.encodeString("$class", dollarKeyValue);
    }
    void initWithCoder(KeyedUnarchiver& coder) override {
        flag = coder.decodeBoolForKey("flag");
        small = coder.decodeInt32ForKey("small");
        large = coder.decodeInt64ForKey("large");
        single = coder.decodeFloatForKey("single");
        precise = coder.decodeDoubleForKey("precise");
        bytes = coder.decodeBytesForKey("bytes");
        point = coder.decodePointForKey("point");
        size = coder.decodeSizeForKey("size");
        rect = coder.decodeRectForKey("rect");
        text = coder.decodeStringForKey("text");
        number = coder.decodeNumberForKey("number");
        date = coder.decodeDateForKey("date");
        color = coder.decodeColorForKey("color");
        font = coder.decodeFontForKey("font");
        image = coder.decodeImageForKey("image");
        list = coder.decodeArrayForKey("list");
        dict = coder.decodeDictionaryForKey("dict");
        opacity = coder.decodeOptionalNumber("key_opacityObject", "key_no_opacity");
        dollarKeyValue = coder.decodeStringForKey("$class").value_or("");
    }
};

ArchiveClassRegistry& testRegistry() {
    static ArchiveClassRegistry registry;
    static const bool registered = [] {
        registry.registerClass<Node>("TestNode");
        registry.registerClass<SpecialNode>("TestSpecialNode", "TestNode");
        registry.registerClass<Values>("TestValues", "TestBase");
        registry.registerClass("TestBase", "NSObject", nullptr);
        return true;
    }();
    (void)registered;
    return registry;
}

PropertyList archiveAsPlist(const std::shared_ptr<Archivable>& root) {
    KeyedArchiver archiver(testRegistry());
    archiver.encodeObject("root", ArchivedValue(root));
    auto result = archiver.finishEncodingAsPropertyList();
    EXPECT_TRUE(result.ok()) << result.error();
    return std::move(result).valueOr({});
}

template <typename T> Result<std::shared_ptr<T>> roundTrip(const std::shared_ptr<Archivable>& root) {
    auto bytes = KeyedArchiver::archivedData(root, testRegistry());
    EXPECT_TRUE(bytes.ok()) << bytes.error();
    return KeyedUnarchiver::unarchive<T>(bytes.value(), testRegistry());
}

// Objects in "$objects" whose class record names the class.
int countObjectsOfClass(const PropertyList& archive, std::string_view className) {
    const PlistArray& objects = *archive.arrayForKey("$objects");
    int count = 0;
    for (const PropertyList& o : objects) {
        const PropertyList* ref = o.get("$class");
        if (!ref) continue;
        const PropertyList& record = objects[static_cast<std::size_t>(ref->uidValue()->value)];
        if (*record.stringForKey("$classname") == className) ++count;
    }
    return count;
}

const PropertyList& classRecordNamed(const PropertyList& archive, std::string_view className) {
    for (const PropertyList& o : *archive.arrayForKey("$objects"))
        if (const std::string* name = o.stringForKey("$classname"); name && *name == className) return o;
    static const PropertyList none;
    ADD_FAILURE() << "no class record " << className;
    return none;
}

std::vector<std::string> classChainOf(const PropertyList& record) {
    std::vector<std::string> chain;
    if (const PlistArray* list = record.arrayForKey("$classes"))
        for (const PropertyList& c : *list)
            chain.push_back(*c.stringValue());
    return chain;
}

// ---- Layout and values ----

TEST(KeyedArchive, WritesTheStandardLayout) {
    auto values = std::make_shared<Values>();
    values->list = ArchivedArray{"a", 1};
    values->dict = ArchivedDictionary{{"k", 2.5}};
    values->color = ArchivedColor{1, 0.5, 0, 0.25, ArchivedColor::calibratedRgb};
    const PropertyList archive = archiveAsPlist(values);

    EXPECT_EQ(*archive.stringForKey("$archiver"), "NSKeyedArchiver");
    EXPECT_EQ(archive.integerForKey("$version"), 100000);
    const PlistArray& objects = *archive.arrayForKey("$objects");
    EXPECT_EQ(*objects[0].stringValue(), "$null");
    const std::optional<PlistUid> root = archive.getPath({"$top", "root"})->uidValue();
    ASSERT_TRUE(root);
    const PropertyList& stored = objects[static_cast<std::size_t>(root->value)];
    EXPECT_TRUE(stored.get("$class")->uidValue());
    EXPECT_EQ(stored.boolForKey("flag"), false);
    EXPECT_EQ(*stored.stringForKey("rect"), "{{0, 0}, {0, 0}}");
    EXPECT_EQ(stored.boolForKey("key_no_opacity"), true);

    EXPECT_EQ(classChainOf(classRecordNamed(archive, "TestValues")),
              (std::vector<std::string>{"TestValues", "TestBase", "NSObject"}));
    EXPECT_EQ(classChainOf(classRecordNamed(archive, "NSMutableArray")),
              (std::vector<std::string>{"NSMutableArray", "NSArray", "NSObject"}));
    EXPECT_EQ(classChainOf(classRecordNamed(archive, "NSMutableDictionary")),
              (std::vector<std::string>{"NSMutableDictionary", "NSDictionary", "NSObject"}));

    const PropertyList& color = objects[static_cast<std::size_t>(stored.get("color")->uidValue()->value)];
    EXPECT_EQ(color.integerForKey("NSColorSpace"), 1);
    const std::string rgbText = "1 0.5 0 0.25";
    PlistBytes expected(rgbText.begin(), rgbText.end());
    expected.push_back(0);
    EXPECT_EQ(*color.dataForKey("NSRGB"), expected);
}

TEST(KeyedArchive, ValuesRoundTrip) {
    auto values = std::make_shared<Values>();
    values->flag = true;
    values->small = std::numeric_limits<std::int32_t>::min();
    values->large = std::numeric_limits<std::int64_t>::max();
    values->single = 0.1f;
    values->precise = -1.0 / 3.0;
    values->bytes = {0, 1, 254, 255};
    values->point = {1.5, -2};
    values->size = {1280, 720};
    values->rect = {0.25, 1e-3, 3, 4};
    values->text = "Grüße \xF0\x9F\x8E\xAC";
    values->number = 42.5;
    values->date = PlistDate{700000000.25};
    values->color = ArchivedColor{0.1, 0.2, 0.3, 1, ArchivedColor::deviceRgb};
    values->font = ArchivedFont{"Helvetica", 13};
    values->image = ArchivedImage{{0x89, 'P', 'N', 'G'}};
    values->list = ArchivedArray{"x",           3,
                                 2.5,           true,
                                 PlistBytes{7}, Point{1, 2},
                                 Size{3, 4},    Rect{1, 2, 3, 4},
                                 nullptr,       ArchivedArray{"nested"}};
    values->dict = ArchivedDictionary{{"name", "Ann"}, {"inner", ArchivedDictionary{{"n", 1}}}};
    values->opacityToWrite = 0.75;
    values->dollarKeyValue = "not a class";

    auto back = roundTrip<Values>(values);
    ASSERT_TRUE(back.ok()) << back.error();
    const Values& v = *back.value();
    EXPECT_TRUE(v.flag);
    EXPECT_EQ(v.small, values->small);
    EXPECT_EQ(v.large, values->large);
    EXPECT_EQ(v.single, values->single);
    EXPECT_EQ(v.precise, values->precise);
    EXPECT_EQ(v.bytes, values->bytes);
    EXPECT_EQ(v.point, values->point);
    EXPECT_EQ(v.size, values->size);
    EXPECT_EQ(v.rect, values->rect);
    EXPECT_EQ(v.text, values->text);
    EXPECT_EQ(v.number, values->number);
    ASSERT_TRUE(v.date);
    EXPECT_DOUBLE_EQ(v.date->secondsSince2001, values->date->secondsSince2001);
    EXPECT_EQ(v.color, values->color);
    EXPECT_EQ(v.font, values->font);
    EXPECT_EQ(v.image, values->image);
    EXPECT_EQ(v.list, values->list);
    EXPECT_EQ(v.dict, values->dict);
    EXPECT_EQ(v.opacity.state, KeyedUnarchiver::OptionalNumberState::Present);
    EXPECT_EQ(v.opacity.value, 0.75);
    EXPECT_EQ(v.dollarKeyValue, "not a class");
}

TEST(KeyedArchive, MissingKeysGiveNeutralValues) {
    KeyedArchiver archiver(testRegistry());
    archiver.encodeInt32("present", 5);
    auto bytes = archiver.finishEncoding();
    ASSERT_TRUE(bytes.ok());

    KeyedUnarchiver coder(testRegistry());
    ASSERT_TRUE(coder.open(bytes.value()).ok());
    EXPECT_TRUE(coder.containsValueForKey("present"));
    EXPECT_FALSE(coder.containsValueForKey("absent"));
    EXPECT_EQ(coder.decodeInt32ForKey("present"), 5);
    EXPECT_FALSE(coder.decodeBoolForKey("absent"));
    EXPECT_EQ(coder.decodeInt64ForKey("absent"), 0);
    EXPECT_EQ(coder.decodeDoubleForKey("absent"), 0);
    EXPECT_EQ(coder.decodeRectForKey("absent"), Rect());
    EXPECT_TRUE(coder.decodeBytesForKey("absent").empty());
    EXPECT_TRUE(coder.decodeObjectForKey("absent").isNil());
    EXPECT_FALSE(coder.decodeStringForKey("absent"));
    EXPECT_FALSE(coder.decodeColorForKey("absent"));
    EXPECT_EQ(coder.decodeObjectOfClass<Node>("absent"), nullptr);
    EXPECT_TRUE(coder.decodeArrayOfObjects<Node>("absent").empty());
    EXPECT_EQ(coder.decodeOptionalNumber("absent", "absentFlag").state,
              KeyedUnarchiver::OptionalNumberState::Missing);
    EXPECT_TRUE(coder.finishDecoding().ok());
}

TEST(KeyedArchive, OptionalNumberWithFlag) {
    auto absent = std::make_shared<Values>();
    auto back = roundTrip<Values>(absent);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back.value()->opacity.state, KeyedUnarchiver::OptionalNumberState::Absent);
}

TEST(KeyedArchive, NumbersConvertButOtherKindsAreFaults) {
    KeyedArchiver archiver(testRegistry());
    archiver.encodeDouble("real", 2.9);
    archiver.encodeBool("yes", true);
    archiver.encodeNumber("boxed", 7);
    archiver.encodeString("text", "7");
    archiver.encodeInt64("huge", std::int64_t(1) << 40);
    auto bytes = archiver.finishEncoding();
    ASSERT_TRUE(bytes.ok());

    KeyedUnarchiver coder(testRegistry());
    ASSERT_TRUE(coder.open(bytes.value()).ok());
    EXPECT_EQ(coder.decodeInt32ForKey("real"), 2);
    EXPECT_EQ(coder.decodeDoubleForKey("yes"), 1.0);
    EXPECT_EQ(coder.decodeDoubleForKey("boxed"), 7.0);
    EXPECT_EQ(coder.decodeInt64ForKey("huge"), std::int64_t(1) << 40);
    EXPECT_TRUE(coder.finishDecoding().ok());

    struct Case {
        const char* name;
        std::function<void(KeyedUnarchiver&)> read;
    };
    const Case faults[] = {
        {"string as integer", [](KeyedUnarchiver& c) { c.decodeInt32ForKey("text"); }},
        {"integer out of 32-bit range", [](KeyedUnarchiver& c) { c.decodeInt32ForKey("huge"); }},
        {"number as string", [](KeyedUnarchiver& c) { c.decodeStringForKey("boxed"); }},
        {"string as colour", [](KeyedUnarchiver& c) { c.decodeColorForKey("text"); }},
        {"string as object", [](KeyedUnarchiver& c) { c.decodeObjectOfClass<Node>("text"); }},
    };
    for (const Case& f : faults) {
        KeyedUnarchiver c(testRegistry());
        ASSERT_TRUE(c.open(bytes.value()).ok());
        f.read(c);
        EXPECT_TRUE(c.failed()) << f.name;
        EXPECT_NE(c.error().find("key \""), std::string::npos) << c.error();
        // After a fault every read is neutral.
        EXPECT_EQ(c.decodeInt64ForKey("huge"), 0) << f.name;
    }
}

// ---- Object graphs ----

TEST(KeyedArchive, SharedObjectsBackPointersAndCycles) {
    auto root = std::make_shared<Node>();
    root->name = "root";
    auto shared = std::make_shared<Node>();
    shared->name = "shared";
    for (const char* name : {"a", "b"}) {
        auto child = std::make_shared<Node>();
        child->name = name;
        child->parent = root.get();
        child->link = shared; // the same object from two places
        root->children.push_back(child);
    }
    shared->link = root; // cycle through owning pointers
    root->children[1]->children.push_back(std::make_shared<SpecialNode>());
    root->children[1]->children[0]->parent = root->children[1].get();

    const PropertyList archive = archiveAsPlist(root);
    EXPECT_EQ(countObjectsOfClass(archive, "TestNode"), 4);
    EXPECT_EQ(classChainOf(classRecordNamed(archive, "TestSpecialNode")),
              (std::vector<std::string>{"TestSpecialNode", "TestNode", "NSObject"}));

    auto back = roundTrip<Node>(root);
    ASSERT_TRUE(back.ok()) << back.error();
    const Node& r = *back.value();
    ASSERT_EQ(r.children.size(), 2u);
    EXPECT_EQ(r.children[0]->name, "a");
    EXPECT_EQ(r.children[0]->parent, &r);
    EXPECT_EQ(r.children[1]->parent, &r);
    EXPECT_EQ(r.children[0]->link, r.children[1]->link);
    EXPECT_EQ(r.children[0]->link->name, "shared");
    EXPECT_EQ(r.children[0]->link->link.get(), &r);
    ASSERT_EQ(r.children[1]->children.size(), 1u);
    EXPECT_NE(dynamic_cast<SpecialNode*>(r.children[1]->children[0].get()), nullptr);
    EXPECT_EQ(r.children[1]->children[0]->parent, r.children[1].get());
    // Break the decoded cycle so the graph is freed.
    back.value()->children[0]->link->link.reset();
    shared->link.reset();
}

TEST(KeyedArchive, ConditionalReferencesNeedAnUnconditionalOne) {
    struct Scenario {
        const char* name;
        bool delegateIsChild;
        bool delegateEncodedFirst;
    };
    for (const Scenario& s : {Scenario{"encoded later", true, false}, Scenario{"encoded earlier", true, true},
                              Scenario{"never encoded", false, false}}) {
        SCOPED_TRACE(s.name);
        auto root = std::make_shared<Node>();
        auto child = std::make_shared<Node>();
        child->name = "child";
        auto outsider = std::make_shared<Node>();
        outsider->name = "outsider";
        auto holder = std::make_shared<Node>();
        holder->name = "holder";
        holder->delegate = s.delegateIsChild ? child.get() : outsider.get();
        root->children = s.delegateEncodedFirst ? std::vector{child, holder} : std::vector{holder, child};

        const PropertyList archive = archiveAsPlist(root);
        EXPECT_EQ(countObjectsOfClass(archive, "TestNode"), 3) << "only conditional objects are not written";

        auto back = roundTrip<Node>(root);
        ASSERT_TRUE(back.ok()) << back.error();
        const auto& kids = back.value()->children;
        const Node& h = *kids[s.delegateEncodedFirst ? 1 : 0];
        const Node& c = *kids[s.delegateEncodedFirst ? 0 : 1];
        EXPECT_EQ(h.delegate, s.delegateIsChild ? &c : nullptr);
    }
}

TEST(KeyedArchive, ConditionalReferenceAtTheTop) {
    auto node = std::make_shared<Node>();
    KeyedArchiver archiver(testRegistry());
    archiver.encodeConditionalObject("delegate", node.get());
    archiver.encodeObject("root", ArchivedValue(node));
    auto bytes = archiver.finishEncoding();
    ASSERT_TRUE(bytes.ok());
    KeyedUnarchiver coder(testRegistry());
    ASSERT_TRUE(coder.open(bytes.value()).ok());
    auto root = coder.decodeObjectOfClass<Node>("root");
    EXPECT_EQ(coder.decodeObjectOfClass<Node>("delegate"), root);
    EXPECT_NE(root, nullptr);
}

TEST(KeyedArchive, WrongClassIsAFault) {
    auto values = std::make_shared<Values>();
    auto bytes = KeyedArchiver::archivedData(values, testRegistry());
    auto asNode = KeyedUnarchiver::unarchive<Node>(bytes.value(), testRegistry());
    EXPECT_FALSE(asNode.ok());
    EXPECT_NE(asNode.error().find("TestValues"), std::string::npos) << asNode.error();

    // The same archive with a registry that does not know the class.
    ArchiveClassRegistry empty;
    auto unknown = KeyedUnarchiver::unarchive<Values>(bytes.value(), empty);
    EXPECT_FALSE(unknown.ok());
    EXPECT_NE(unknown.error().find("unknown class \"TestValues\""), std::string::npos) << unknown.error();
}

struct Unnamed : Archivable {
    std::string archivedClassName() const override { return ""; }
    void encodeWithCoder(KeyedArchiver&) const override {}
    void initWithCoder(KeyedUnarchiver&) override {}
};

TEST(KeyedArchive, EncodingFaultsAreReported) {
    // A chain deeper than the archiver allows.
    auto head = std::make_shared<Node>();
    Node* tail = head.get();
    for (int i = 0; i < 600; ++i) {
        tail->link = std::make_shared<Node>();
        tail = tail->link.get();
    }
    struct Case {
        const char* name;
        std::shared_ptr<Archivable> root;
        const char* errorPart;
    };
    const Case cases[] = {
        {"no class name", std::make_shared<Unnamed>(), "class name"},
        {"too deep", head, "nested too deeply"},
    };
    for (const Case& c : cases) {
        auto result = KeyedArchiver::archivedData(c.root, testRegistry());
        EXPECT_FALSE(result.ok()) << c.name;
        EXPECT_NE(result.error().find(c.errorPart), std::string::npos) << c.name << ": " << result.error();
    }

    KeyedArchiver archiver(testRegistry());
    archiver.fail("the model refused");
    archiver.encodeInt32("ignored", 1);
    EXPECT_EQ(archiver.finishEncoding().error(), "the model refused");
    EXPECT_FALSE(archiver.finishEncoding().ok()) << "an archiver writes one archive";
}

TEST(KeyedArchive, PropertyListValuesConvert) {
    const PropertyList plist =
        PropertyList::dictionary({{"name", "Ann"},
                                  {"takes", 3},
                                  {"list", PropertyList::array({1.5, true, PlistBytes{1}, PlistDate{2}})}});
    const ArchivedValue value = ArchivedValue::fromPropertyList(plist);
    EXPECT_EQ(*value.get("name")->stringValue(), "Ann");
    EXPECT_EQ(value.get("takes")->integerValue(), 3);
    EXPECT_EQ(value.toPropertyList(), plist);
    // Values with no property-list form give nothing rather than a partial copy.
    EXPECT_TRUE(ArchivedValue(ArchivedArray{Rect{1, 2, 3, 4}}).toPropertyList().isNone());
}

// ---- Hostile archives ----

// An archive built by hand: objects after "$null", the top under "root".
PlistBytes handArchive(PlistArray objects,
                       PropertyList top = PropertyList::dictionary({{"root", PlistUid{1}}})) {
    objects.insert(objects.begin(), PropertyList("$null"));
    PropertyList archive = PropertyList::dictionary({{"$version", 100000},
                                                     {"$archiver", "NSKeyedArchiver"},
                                                     {"$top", top},
                                                     {"$objects", PropertyList(std::move(objects))}});
    return archive.toBytes(PropertyListFormat::Binary).value();
}

PropertyList classRecord(const char* name) {
    return PropertyList::dictionary(
        {{"$classname", name}, {"$classes", PropertyList::array({name, "NSObject"})}});
}

PropertyList arrayObject(std::uint64_t classUid, std::vector<std::uint64_t> items) {
    PlistArray refs;
    for (auto i : items)
        refs.emplace_back(PlistUid{i});
    return PropertyList::dictionary(
        {{"$class", PlistUid{classUid}}, {"NS.objects", PropertyList(std::move(refs))}});
}

TEST(KeyedArchive, HostileArchivesGiveErrors) {
    const PlistBytes valid = KeyedArchiver::archivedData(std::make_shared<Node>(), testRegistry()).value();

    // A chain of arrays deeper than the decoder allows (each refers to the next).
    PlistArray deep;
    for (std::uint64_t i = 0; i < 400; ++i)
        deep.push_back(arrayObject(402, {i + 2}));
    deep.push_back(PropertyList("end"));
    deep.push_back(classRecord("NSArray"));

    // Arrays that each refer 12 times to the next: small, but astronomically large when expanded.
    PlistArray multiplying;
    for (std::uint64_t i = 0; i < 20; ++i)
        multiplying.push_back(arrayObject(22, std::vector<std::uint64_t>(12, i + 2)));
    multiplying.push_back(PropertyList("leaf"));
    multiplying.push_back(classRecord("NSArray"));

    struct Case {
        const char* name;
        PlistBytes bytes;
        const char* errorPart;
    };
    const Case cases[] = {
        {"not a property list", {'x', 'y'}, "could not be read"},
        {"truncated", PlistBytes(valid.begin(), valid.end() - 40), "could not be read"},
        {"plain dictionary", PropertyList::dictionary({{"a", 1}}).toBytes(PropertyListFormat::Binary).value(),
         "not a keyed archive"},
        {"objects not an array",
         PropertyList::dictionary({{"$objects", 1}, {"$top", PropertyList::dictionary()}})
             .toBytes(PropertyListFormat::Binary)
             .value(),
         "not a keyed archive"},
        {"dangling root", handArchive({}, PropertyList::dictionary({{"root", PlistUid{9}}})),
         "points at object 9"},
        {"dangling child", handArchive({arrayObject(2, {77}), classRecord("NSArray")}),
         "points at object 77"},
        {"class is not a reference", handArchive({PropertyList::dictionary({{"$class", "TestNode"}})}),
         "not a reference"},
        {"class points at itself", handArchive({PropertyList::dictionary({{"$class", PlistUid{1}}})}),
         "no class name"},
        {"classes list holds references",
         handArchive({PropertyList::dictionary({{"$class", PlistUid{2}}}),
                      PropertyList::dictionary(
                          {{"$classname", "TestNode"}, {"$classes", PropertyList::array({PlistUid{2}})}})}),
         "non-text"},
        {"unknown class",
         handArchive({PropertyList::dictionary({{"$class", PlistUid{2}}}), classRecord("Mystery")}),
         "unknown class \"Mystery\""},
        {"abstract class",
         handArchive({PropertyList::dictionary({{"$class", PlistUid{2}}}), classRecord("TestBase")}),
         "cannot be created"},
        {"array contains itself", handArchive({arrayObject(2, {1}), classRecord("NSArray")}),
         "contains itself"},
        {"keys and values differ",
         handArchive({PropertyList::dictionary({{"$class", PlistUid{2}},
                                                {"NS.keys", PropertyList::array({PlistUid{3}})},
                                                {"NS.objects", PropertyList::array()}}),
                      classRecord("NSDictionary"), "k"}),
         "different numbers"},
        {"bare array object", handArchive({PropertyList::array({1, 2})}), "without a class"},
        {"colour without components",
         handArchive({PropertyList::dictionary({{"$class", PlistUid{2}}, {"NSColorSpace", 2}}),
                      classRecord("NSColor")}),
         "colour components"},
        {"too deep", handArchive(deep), "nested too deeply"},
        {"multiplying", handArchive(multiplying), "too large an object graph"},
        {"large string shared many times",
         handArchive({arrayObject(2, std::vector<std::uint64_t>(120, 3)), classRecord("NSArray"),
                      PropertyList(std::string(std::size_t(1) << 20, 'x'))}),
         "too large an object graph"},
        {"wrong field type in object",
         handArchive(
             {PropertyList::dictionary({{"$class", PlistUid{2}}, {"name", 5}}), classRecord("TestNode")}),
         "expected"},
    };
    for (const Case& c : cases) {
        auto result = KeyedUnarchiver::unarchive<Archivable>(c.bytes, testRegistry());
        EXPECT_FALSE(result.ok()) << c.name;
        EXPECT_NE(result.error().find(c.errorPart), std::string::npos) << c.name << ": " << result.error();
        // The dump reads the same bytes without crashing (it knows no classes, so it may accept some).
        (void)dumpKeyedArchive(c.bytes);
    }
    // Every cut of a valid archive is refused or read; none crashes.
    for (std::size_t cut = 0; cut < valid.size(); ++cut)
        (void)KeyedUnarchiver::unarchive<Node>(std::span(valid.data(), cut), testRegistry());
}

// ---- Fixture written by hand in the standard layout ----

struct FixtureStyle : Archivable {
    double strength = 0;
    std::string archivedClassName() const override { return "FixtureStyle"; }
    void encodeWithCoder(KeyedArchiver&) const override {}
    void initWithCoder(KeyedUnarchiver& coder) override {
        strength = coder.decodeDoubleForKey("key_strength");
    }
};

struct FixtureContainer;

struct FixtureTrack : Archivable {
    FixtureContainer* container = nullptr;
    std::int32_t trackID = 0;
    bool disabled = false;
    Rect frame;
    std::optional<ArchivedFont> titleFont;
    std::shared_ptr<FixtureStyle> style;
    std::optional<double> opacity;
    std::string archivedClassName() const override { return "FixtureTrack"; }
    void encodeWithCoder(KeyedArchiver&) const override {}
    void initWithCoder(KeyedUnarchiver& coder) override;
};

struct FixtureContainer : Archivable {
    std::string name;
    Size canvasSize;
    std::vector<std::shared_ptr<FixtureTrack>> tracks;
    std::optional<ArchivedColor> background;
    std::optional<ArchivedDictionary> metadata;
    std::optional<PlistDate> created;
    float audioExtentScale = 0;
    std::int32_t backgroundKind = 0;
    std::string archivedClassName() const override { return "FixtureContainer"; }
    void encodeWithCoder(KeyedArchiver&) const override {}
    void initWithCoder(KeyedUnarchiver& coder) override {
        name = coder.decodeStringForKey("name").value_or("");
        canvasSize = coder.decodeSizeForKey("canvasSize");
        tracks = coder.decodeArrayOfObjects<FixtureTrack>("key_containerTracks");
        background = coder.decodeColorForKey("key_backgroundColor1");
        metadata = coder.decodeDictionaryForKey("key_metaData");
        created = coder.decodeDateForKey("key_created");
        audioExtentScale = coder.decodeFloatForKey("key_audioExtentScaling");
        backgroundKind = coder.decodeInt32ForKey("key_backgroundKind");
    }
};

void FixtureTrack::initWithCoder(KeyedUnarchiver& coder) {
    container = coder.decodeObjectOfClass<FixtureContainer>("compositionObjectsContainer").get();
    trackID = coder.decodeInt32ForKey("trackID");
    disabled = coder.decodeBoolForKey("key_disabled");
    frame = coder.decodeRectForKey("key_frame");
    titleFont = coder.decodeFontForKey("key_titleFont");
    style = coder.decodeObjectOfClass<FixtureStyle>("key_style");
    auto number = coder.decodeOptionalNumber("key_opacityObject", "key_no_opacity");
    if (number.state == KeyedUnarchiver::OptionalNumberState::Present) opacity = number.value;
    // An older archive keeps the frame under the bare key.
    if (!coder.containsValueForKey("key_frame")) frame = coder.decodeRectForKey("rect");
}

PlistBytes readFixture(const char* name = "keyed-archive-fixture.bin") {
    const auto path = std::filesystem::path(VISTREL_TEST_SOURCE_DIR) / "fixtures" / name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return PlistBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(KeyedArchiveFixture, DecodesToTheDescribedObjects) {
    ArchiveClassRegistry registry;
    registry.registerClass<FixtureContainer>("FixtureContainer", "FixtureBase");
    registry.registerClass<FixtureTrack>("FixtureTrack", "FixtureBase");
    registry.registerClass<FixtureStyle>("FixtureStyle");

    auto result = KeyedUnarchiver::unarchive<FixtureContainer>(readFixture(), registry);
    ASSERT_TRUE(result.ok()) << result.error();
    const FixtureContainer& c = *result.value();
    EXPECT_EQ(c.name, "Demo été");
    EXPECT_EQ(c.canvasSize, (Size{1280, 720}));
    EXPECT_EQ(c.background, (ArchivedColor{0.2, 0.4, 0.6, 1, ArchivedColor::calibratedRgb}));
    ASSERT_TRUE(c.metadata);
    EXPECT_EQ(*c.metadata->find("author")->stringValue(), "Ann");
    EXPECT_EQ(c.metadata->find("takes")->integerValue(), 3);
    ASSERT_TRUE(c.created);
    EXPECT_DOUBLE_EQ(c.created->secondsSince2001, 700000000.5);
    EXPECT_EQ(c.audioExtentScale, 0.25f);
    EXPECT_EQ(c.backgroundKind, 2);

    ASSERT_EQ(c.tracks.size(), 2u);
    const FixtureTrack& t1 = *c.tracks[0];
    const FixtureTrack& t2 = *c.tracks[1];
    EXPECT_EQ(t1.container, &c);
    EXPECT_EQ(t2.container, &c);
    EXPECT_EQ(t1.trackID, 1);
    EXPECT_FALSE(t1.disabled);
    EXPECT_TRUE(t2.disabled);
    EXPECT_EQ(t1.frame, (Rect{10, 20, 640, 360}));
    EXPECT_EQ(t2.frame, (Rect{1, 2, 3, 4}));
    EXPECT_EQ(t1.titleFont, (ArchivedFont{"Helvetica-Bold", 13}));
    EXPECT_FALSE(t2.titleFont);
    ASSERT_NE(t1.style, nullptr);
    EXPECT_EQ(t1.style, t2.style);
    EXPECT_EQ(t1.style->strength, 0.5);
    EXPECT_EQ(t1.opacity, 0.75);
    EXPECT_FALSE(t2.opacity);
}

TEST(KeyedArchiveDump, PrintsEachObjectOnceAndRefusesDamage) {
    auto dumped = dumpKeyedArchive(readFixture());
    ASSERT_TRUE(dumped.ok()) << dumped.error();
    const std::string& text = dumped.value();
    EXPECT_NE(text.find("root: #1 FixtureContainer\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  name: \"Demo été\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("      key_style: #6 FixtureStyle\n        key_strength: 0.5\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("      key_style: -> #6 FixtureStyle (shown above)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("compositionObjectsContainer: -> #1 FixtureContainer (shown above)"),
              std::string::npos);
    EXPECT_NE(text.find("key_backgroundColor1: #11 NSColor rgba(0.2, 0.4, 0.6, 1) space 1"),
              std::string::npos);
    EXPECT_NE(text.find("key_titleFont: #9 NSFont \"Helvetica-Bold\" 13 pt"), std::string::npos);

    auto damaged = dumpKeyedArchive(handArchive({arrayObject(2, {77}), classRecord("NSArray")}));
    EXPECT_FALSE(damaged.ok());
    EXPECT_EQ(damaged.error().find('\n'), std::string::npos);

    // A long string printed at each of many references.
    auto enormous = dumpKeyedArchive(
        handArchive({arrayObject(2, std::vector<std::uint64_t>(120, 3)), classRecord("NSArray"),
                     PropertyList(std::string(std::size_t(1) << 20, 'x'))}));
    EXPECT_FALSE(enormous.ok());
    EXPECT_NE(enormous.error().find("too large"), std::string::npos) << enormous.error();
}

// The fixture was written by an independent writer (scripts/make-plist-fixture.py) from the
// layout this graph must have. The four equal data values are stored once, whatever buffers
// they sit in.
TEST(KeyedArchiveBytes, TheSameGraphGivesTheSameBytesInEveryRun) {
    auto makeGraph = [] {
        const PlistBytes payload{1, 2, 3};
        auto values = std::make_shared<Values>();
        values->flag = true;
        values->small = 7;
        values->large = -5;
        values->single = 0.5f;
        values->precise = 0.1;
        values->bytes = payload;
        values->point = {1, 2};
        values->size = {3, 4};
        values->rect = {5, 6, 7, 8};
        values->text = "Grüße";
        values->number = 7;
        values->image = ArchivedImage{payload};
        values->list = ArchivedArray{ArchivedValue(payload), ArchivedValue(payload), ArchivedValue("Grüße")};
        values->opacityToWrite = 0.75;
        return values;
    };
    const PlistBytes expected = readFixture("keyed-archive-canonical.bin");
    auto first = KeyedArchiver::archivedData(makeGraph(), testRegistry());
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_EQ(first.value(), expected);

    // Allocations of assorted sizes in between put the second graph's buffers elsewhere.
    std::vector<PlistBytes> ballast;
    for (std::size_t i = 1; i < 200; ++i)
        ballast.emplace_back(i * 13 % 97 + 1, static_cast<std::uint8_t>(i));
    for (int run = 0; run < 5; ++run) {
        auto again = KeyedArchiver::archivedData(makeGraph(), testRegistry());
        ASSERT_TRUE(again.ok()) << again.error();
        EXPECT_EQ(again.value(), expected) << "run " << run;
        ballast.erase(ballast.begin(), ballast.begin() + 20);
    }
}

} // namespace
} // namespace vtl
