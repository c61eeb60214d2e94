#include "platform/foundation/Localization.h"

#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

TEST(Localization, ParsesTablesWithEscapesAndComments) {
    std::vector<std::pair<std::string, std::string>> entries;
    ASSERT_TRUE(parseStringsTable("/* c */ \"a\" = \"x \\\"y\\\"\\n\";\n// line\n\"b\"=\"\";", entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].second, "x \"y\"\n");
    EXPECT_EQ(entries[1].first, "b");
    for (const char* bad : {"\"a\" = \"b\"", "\"a\" \"b\";", "\"a\" = \"b;", "/* open"}) {
        entries.clear();
        EXPECT_FALSE(parseStringsTable(bad, entries)) << bad;
        EXPECT_TRUE(entries.empty());
    }
}

TEST(Localization, MissingKeyGivesTheKeyAndLogsOnce) {
    // A fresh key per run, since "once" is per process.
    static int run = 0;
    const std::string key = "No_Such_Key_For_Test_" + std::to_string(++run);
    int lines = 0;
    auto previous = setLogSink([&](std::string_view) { ++lines; });
    EXPECT_EQ(localizedString(key), key);
    EXPECT_EQ(localizedString(key), key);
    setLogSink(previous);
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(localizedString("CompositionAnimationTimingFuctionLinear"), "Linear");
}

} // namespace
} // namespace vtl
