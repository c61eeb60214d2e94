#include "platform/foundation/PropertyList.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace vtl {
namespace {

// Assembles a binary property list from raw object encodings (references 2 bytes wide).
PlistBytes assembleBinary(const std::vector<PlistBytes>& objects, std::uint64_t top = 0) {
    PlistBytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint64_t> offsets;
    for (const PlistBytes& o : objects) {
        offsets.push_back(out.size());
        out.insert(out.end(), o.begin(), o.end());
    }
    const std::uint64_t tableOffset = out.size();
    for (std::uint64_t off : offsets)
        for (int shift = 56; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(off >> shift));
    PlistBytes trailer(32, 0);
    trailer[6] = 8;
    trailer[7] = 2;
    auto put = [&](int at, std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            trailer[at + i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
    };
    put(8, objects.size());
    put(16, top);
    put(24, tableOffset);
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

PlistBytes xmlBytes(std::string_view text) {
    return PlistBytes(text.begin(), text.end());
}

PlistBytes arrayOf(std::vector<std::uint16_t> refs) {
    PlistBytes o = {static_cast<std::uint8_t>(0xa0 | refs.size())};
    for (std::uint16_t r : refs) {
        o.push_back(static_cast<std::uint8_t>(r >> 8));
        o.push_back(static_cast<std::uint8_t>(r));
    }
    return o;
}

// An array of any length whose items all refer to one object.
PlistBytes longArrayOf(std::uint32_t count, std::uint16_t ref) {
    PlistBytes o = {0xaf, 0x12};
    for (int shift = 24; shift >= 0; shift -= 8)
        o.push_back(static_cast<std::uint8_t>(count >> shift));
    for (std::uint32_t i = 0; i < count; ++i) {
        o.push_back(static_cast<std::uint8_t>(ref >> 8));
        o.push_back(static_cast<std::uint8_t>(ref));
    }
    return o;
}

PlistBytes dataOf(std::uint32_t length) {
    PlistBytes o = {0x4f, 0x12};
    for (int shift = 24; shift >= 0; shift -= 8)
        o.push_back(static_cast<std::uint8_t>(length >> shift));
    o.resize(o.size() + length, 'x');
    return o;
}

PropertyList sampleDocument() {
    PlistArray numbers{PropertyList(0),
                       PropertyList(-1),
                       PropertyList(std::numeric_limits<std::int64_t>::min()),
                       PropertyList(std::numeric_limits<std::int64_t>::max()),
                       PropertyList(1.0 / 3.0),
                       PropertyList(-2.5e-300)};
    PropertyList nested = PropertyList::dictionary({{"inner", PropertyList::array({true, false, "x"})},
                                                    {"empty dict", PropertyList::dictionary()},
                                                    {"empty array", PropertyList::array()}});
    return PropertyList::dictionary({
        {"zeta", "last letter first"},
        {"alpha", PropertyList(numbers)},
        {"unicode", "Grüße, 東京, \xF0\x9F\x8E\xAC"},
        {"data", PropertyList(PlistBytes{0, 1, 2, 255, 0})},
        {"empty string", ""},
        {"date", PlistDate{-86400.0 * 365}},
        {"nested", nested},
        {"middle", 42},
    });
}

std::vector<std::string> keysOf(const PropertyList& dict) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : *dict.dictionaryValue())
        keys.push_back(key);
    return keys;
}

TEST(PropertyListValue, TypedGettersRefuseOtherTypes) {
    const PropertyList text("5");
    EXPECT_EQ(*text.stringValue(), "5");
    EXPECT_FALSE(text.integerValue());
    EXPECT_FALSE(text.numberValue());
    EXPECT_EQ(text.arrayValue(), nullptr);
    EXPECT_EQ(text.get("key"), nullptr);
    EXPECT_EQ(text.at(0), nullptr);
    EXPECT_FALSE(PropertyList(true).integerValue());
    EXPECT_FALSE(PropertyList(1).boolValue());
    EXPECT_EQ(PropertyList(7).numberValue(), 7.0);
    EXPECT_FALSE(PropertyList(7).realValue());
    EXPECT_FALSE(PropertyList(PlistUid{3}).integerValue());
    EXPECT_TRUE(PropertyList().isNone());

    PropertyList doc = sampleDocument();
    EXPECT_EQ(doc.integerForKey("middle"), 42);
    EXPECT_FALSE(doc.integerForKey("zeta"));
    EXPECT_EQ(doc.stringForKey("middle"), nullptr);
    EXPECT_EQ(doc.getPath({"nested", "inner"})->count(), 3u);
    EXPECT_EQ(doc.getPath({"nested", "missing", "deeper"}), nullptr);
    EXPECT_FALSE(PropertyList(3).set("k", 1));
    EXPECT_FALSE(doc.append(1));
}

TEST(PropertyListValue, DictionaryKeepsInsertionOrderAndReplacesInPlace) {
    PropertyList d = PropertyList::dictionary({{"b", 1}, {"a", 2}, {"c", 3}});
    d.set("a", "replaced");
    d.set("d", 4);
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"b", "a", "c", "d"}));
    EXPECT_EQ(*d.stringForKey("a"), "replaced");
    EXPECT_TRUE(d.dictionaryValue()->remove("b"));
    EXPECT_FALSE(d.dictionaryValue()->remove("b"));
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(d.integerForKey("d"), 4);
    // Equality does not depend on order.
    EXPECT_EQ(PropertyList::dictionary({{"x", 1}, {"y", 2}}), PropertyList::dictionary({{"y", 2}, {"x", 1}}));
    EXPECT_NE(PropertyList::dictionary({{"x", 1}}), PropertyList::dictionary({{"x", 1.0}}));
}

TEST(PropertyListIo, RoundTripsInBothFormats) {
    const PropertyList doc = sampleDocument();
    for (PropertyListFormat format : {PropertyListFormat::Binary, PropertyListFormat::Xml}) {
        SCOPED_TRACE(format == PropertyListFormat::Binary ? "binary" : "xml");
        auto bytes = doc.toBytes(format);
        ASSERT_TRUE(bytes.ok()) << bytes.error();
        auto back = PropertyList::fromBytes(bytes.value());
        ASSERT_TRUE(back.ok()) << back.error();
        EXPECT_EQ(back.value(), doc);
        EXPECT_EQ(keysOf(back.value()), keysOf(doc));
        EXPECT_EQ(keysOf(*back.value().get("nested")), keysOf(*doc.get("nested")));
    }
}

TEST(PropertyListIo, DatesKeepFractionsOnlyInBinary) {
    const double seconds = 789012345.25;
    const PropertyList doc =
        PropertyList::dictionary({{"when", PlistDate{seconds}}, {"before", PlistDate{-100.75}}});
    auto binary = PropertyList::fromBytes(doc.toBytes(PropertyListFormat::Binary).value());
    ASSERT_TRUE(binary.ok()) << binary.error();
    EXPECT_NEAR(binary.value().dateForKey("when")->secondsSince2001, seconds, 1e-6);
    EXPECT_NEAR(binary.value().dateForKey("before")->secondsSince2001, -100.75, 1e-6);

    auto xml = PropertyList::fromBytes(doc.toBytes(PropertyListFormat::Xml).value());
    ASSERT_TRUE(xml.ok()) << xml.error();
    EXPECT_NEAR(xml.value().dateForKey("when")->secondsSince2001, std::floor(seconds), 1.0);
}

TEST(PropertyListIo, UidsRoundTripInBothFormats) {
    const PropertyList doc =
        PropertyList::dictionary({{"$top", PropertyList::dictionary({{"root", PlistUid{1}}})},
                                  {"big", PlistUid{70000}},
                                  {"zero", PlistUid{0}}});
    for (PropertyListFormat format : {PropertyListFormat::Binary, PropertyListFormat::Xml}) {
        auto back = PropertyList::fromBytes(doc.toBytes(format).value());
        ASSERT_TRUE(back.ok()) << back.error();
        EXPECT_EQ(back.value(), doc);
        EXPECT_EQ(back.value().getPath({"$top", "root"})->uidValue(), PlistUid{1});
    }
}

// The number of objects a binary property list stores (from its trailer).
std::uint64_t storedObjectCount(const PlistBytes& bytes) {
    std::uint64_t count = 0;
    for (std::size_t i = bytes.size() - 24; i < bytes.size() - 16; ++i)
        count = (count << 8) | bytes[i];
    return count;
}

TEST(PropertyListIo, EqualValuesAreStoredOnceAndDistinctOnesApart) {
    // Separately allocated copies, interleaved with other allocations.
    auto copies = [](const PropertyList& value, int count) {
        PlistArray items;
        std::vector<std::string> ballast;
        for (int i = 0; i < count; ++i) {
            items.push_back(value);
            ballast.emplace_back(static_cast<std::size_t>(i * 7 + 20), 'x');
        }
        return PropertyList(std::move(items));
    };
    struct Case {
        const char* name;
        PropertyList value;
        std::uint64_t objects;
    };
    const Case cases[] = {
        {"data", copies(PropertyList(PlistBytes(300, 0xab)), 40), 2},
        {"text", copies(PropertyList("Grüße"), 20), 2},
        {"numbers", copies(PropertyList(-3), 20), 2},
        {"uids", copies(PropertyList(PlistUid{9}), 20), 2},
        {"key and value", PropertyList::dictionary({{"a", "a"}, {"b", "a"}}), 3},
        {"containers stay apart", copies(PropertyList::array({1}), 3), 5},
        {"types stay apart",
         PropertyList::array({1, 1.0, true, "1", PlistBytes{1}, PlistUid{1}, PlistDate{1}}), 8},
        {"signed zeros stay apart", PropertyList::array({0.0, -0.0}), 3},
    };
    for (const Case& c : cases) {
        auto bytes = c.value.toBytes(PropertyListFormat::Binary);
        ASSERT_TRUE(bytes.ok()) << c.name << ": " << bytes.error();
        EXPECT_EQ(storedObjectCount(bytes.value()), c.objects) << c.name;
        auto back = PropertyList::fromBytes(bytes.value());
        ASSERT_TRUE(back.ok()) << c.name << ": " << back.error();
        EXPECT_EQ(back.value(), c.value) << c.name;
    }
    const PropertyList zeros = PropertyList::array({0.0, -0.0});
    EXPECT_TRUE(std::signbit(*PropertyList::fromBytes(zeros.toBytes(PropertyListFormat::Binary).value())
                                  .value()
                                  .at(1)
                                  ->realValue()));
}

TEST(PropertyListIo, RefusesValuesWithoutStoredForm) {
    const PropertyList cases[] = {
        PropertyList::dictionary({{"bad", std::string("\xff\xfe", 2)}}),
        PropertyList::dictionary({{"nul", std::string("a\0b", 3)}}),
        PropertyList::dictionary({{std::string("\xc0\x80", 2), 1}}),
        PropertyList::array({PropertyList()}),
        PropertyList::array({PlistDate{std::numeric_limits<double>::infinity()}}),
    };
    for (const PropertyList& value : cases)
        for (auto format : {PropertyListFormat::Binary, PropertyListFormat::Xml})
            EXPECT_FALSE(value.toBytes(format).ok());
}

TEST(PropertyListIo, MalformedInputGivesAnError) {
    const PlistBytes valid = sampleDocument().toBytes(PropertyListFormat::Binary).value();
    const PlistBytes validXml = sampleDocument().toBytes(PropertyListFormat::Xml).value();

    std::vector<PlistBytes> deepChain;
    for (std::uint16_t i = 0; i < 2000; ++i)
        deepChain.push_back(arrayOf({static_cast<std::uint16_t>(i + 1)}));
    deepChain.push_back({0x08});

    // Each level refers 16 times to the next: small on disk, astronomically large when expanded.
    std::vector<PlistBytes> multiplying;
    for (std::uint16_t i = 0; i < 40; ++i)
        multiplying.push_back(arrayOf(std::vector<std::uint16_t>(15, i + 1)));
    multiplying.push_back({0x09});

    std::string deepXml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 5000; ++i)
        deepXml += "<array>";
    for (int i = 0; i < 5000; ++i)
        deepXml += "</array>";
    deepXml += "</plist>";

    struct Case {
        const char* name;
        PlistBytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"text", {'h', 'e', 'l', 'l', 'o'}},
        {"truncated binary",
         PlistBytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(valid.size() / 2))},
        {"header only", {'b', 'p', 'l', 'i', 's', 't', '0', '0'}},
        {"truncated xml",
         PlistBytes(validXml.begin(), validXml.begin() + static_cast<std::ptrdiff_t>(validXml.size() / 2))},
        {"dangling reference", assembleBinary({arrayOf({5})})},
        {"reference loop", assembleBinary({arrayOf({1}), arrayOf({0})})},
        {"top outside table", assembleBinary({{0x08}}, 3)},
        {"string past end", assembleBinary({{0x5f, 0x10, 0xff}})},
        {"huge count", assembleBinary({{0xaf, 0x13, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}})},
        {"deep binary", assembleBinary(deepChain)},
        {"multiplying binary", assembleBinary(multiplying)},
        {"large data shared many times", assembleBinary({longArrayOf(80, 1), dataOf(1u << 20)})},
        {"deep xml", PlistBytes(deepXml.begin(), deepXml.end())},
        {"key with NUL", assembleBinary({{0xd1, 0, 1, 0, 2}, {0x53, 'a', 0, 'b'}, {0x09}})},
        {"key not text", assembleBinary({{0xd1, 0, 1, 0, 1}, {0x09}})},
        {"xml key with NUL reference", xmlBytes("<plist><dict><key>a&#x0;b</key><true/></dict></plist>")},
        {"xml with NUL byte",
         xmlBytes(std::string("<plist><dict><key>a\0b</key><true/></dict></plist>", 49))},
    };
    for (const Case& c : cases) {
        auto result = PropertyList::fromBytes(c.bytes);
        EXPECT_FALSE(result.ok()) << c.name;
        EXPECT_FALSE(result.error().empty()) << c.name;
    }
    // Every cut of a valid binary list is refused or read; none crashes.
    for (std::size_t cut = 0; cut < valid.size(); cut += 7)
        (void)PropertyList::fromBytes(std::span(valid.data(), cut));
}

TEST(PropertyListIo, ModestSharingIsAccepted) {
    // One string referenced from many places, as writers that unique values produce.
    auto result =
        PropertyList::fromBytes(assembleBinary({arrayOf(std::vector<std::uint16_t>(14, 1)), {0x51, 'k'}}));
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(result.value().count(), 14u);
    EXPECT_EQ(*result.value().at(13)->stringValue(), "k");

    // Large data referenced a few times.
    result = PropertyList::fromBytes(assembleBinary({longArrayOf(8, 1), dataOf(1u << 20)}));
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(result.value().at(7)->dataValue()->size(), 1u << 20);
}

class PropertyListFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("plist-test-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(PropertyListFileTest, WritesAtomicallyAndReadsBack) {
    const auto path = folder_ / "doc.plist";
    ASSERT_TRUE(sampleDocument().writeToFile(path, PropertyListFormat::Xml).ok());
    ::chmod(path.c_str(), 0600);
    const PropertyList second = PropertyList::dictionary({{"replaced", true}});
    auto status = second.writeToFile(path, PropertyListFormat::Binary);
    ASSERT_TRUE(status.ok()) << status.error();

    auto back = PropertyList::fromFile(path);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back.value(), second);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(PropertyListFileTest, ReportsFileErrors) {
    auto missing = PropertyList::fromFile(folder_ / "absent.plist");
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("absent.plist"), std::string::npos);

    auto status =
        sampleDocument().writeToFile(folder_ / "no" / "such" / "folder.plist", PropertyListFormat::Binary);
    EXPECT_FALSE(status.ok());

    const auto junk = folder_ / "junk.plist";
    std::ofstream(junk) << "not a property list";
    auto bad = PropertyList::fromFile(junk);
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("junk.plist"), std::string::npos);
}

} // namespace
} // namespace vtl
