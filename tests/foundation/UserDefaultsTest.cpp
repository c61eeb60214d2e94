#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/Log.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>

namespace vtl {
namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-defaults-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        file = folder / "settings" / "defaults.plist"; // the folder is created on first write
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    std::filesystem::path file;
};

TEST_F(UserDefaultsTest, StoredValuesSurviveAndRegisteredOnesAreNotStored) {
    {
        UserDefaults defaults(file);
        defaults.registerDefaults({{"registeredOnly", 7}});
        EXPECT_TRUE(defaults.set("flag", true));
        EXPECT_TRUE(defaults.set("count", 42));
        EXPECT_TRUE(defaults.set("scale", 1.5));
        EXPECT_TRUE(defaults.set("name", "Screen 1"));
        EXPECT_TRUE(defaults.set("bytes", PropertyList::data(std::vector<std::uint8_t>{1, 2, 3})));
        EXPECT_TRUE(defaults.set("list", PropertyList::array({"a", 2})));
        EXPECT_TRUE(defaults.set("settings", PropertyList::dictionary({{"quality", 0.75}})));
        EXPECT_TRUE(defaults.set("removed", 1));
        defaults.remove("removed");
        ASSERT_TRUE(defaults.synchronize().ok());
    }
    UserDefaults reread(file);
    EXPECT_TRUE(reread.boolForKey("flag"));
    EXPECT_EQ(reread.integerForKey("count"), 42);
    EXPECT_EQ(reread.doubleForKey("scale"), 1.5);
    EXPECT_EQ(reread.stringForKey("name"), "Screen 1");
    EXPECT_EQ(reread.dataForKey("bytes"), (PlistBytes{1, 2, 3}));
    ASSERT_TRUE(reread.arrayForKey("list"));
    EXPECT_EQ(reread.arrayForKey("list")->size(), 2u);
    ASSERT_TRUE(reread.dictionaryForKey("settings"));
    EXPECT_EQ(reread.dictionaryForKey("settings")->find("quality")->realValue(), 0.75);
    EXPECT_FALSE(reread.objectForKey("removed"));
    EXPECT_FALSE(reread.objectForKey("registeredOnly"));
}

TEST_F(UserDefaultsTest, RegistrationDomainIsTheFallback) {
    UserDefaults defaults(file);
    defaults.registerDefaults({{"fps", 30}, {"codec", "jpeg"}});
    defaults.registerDefaults({{"fps", 25}}); // later registration replaces the key
    EXPECT_EQ(defaults.integerForKey("fps"), 25);
    EXPECT_TRUE(defaults.set("fps", 60));
    EXPECT_EQ(defaults.integerForKey("fps"), 60);
    defaults.remove("fps");
    EXPECT_EQ(defaults.integerForKey("fps"), 25);
    EXPECT_TRUE(defaults.set("codec", PropertyList())); // none removes
    EXPECT_EQ(defaults.stringForKey("codec"), "jpeg");
    // A stored value of another type does not fall back.
    EXPECT_TRUE(defaults.set("codec", PropertyList::array()));
    EXPECT_EQ(defaults.stringForKey("codec"), std::nullopt);
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_FALSE(defaults.stringForKey("missing"));
}

TEST_F(UserDefaultsTest, TypedGettersConvertWhereUnambiguous) {
    UserDefaults defaults(file);
    struct Case {
        PropertyList stored;
        bool asBool;
        std::int64_t asInteger;
        double asDouble;
        std::optional<std::string> asString;
    };
    const Case cases[] = {
        {true, true, 1, 1.0, std::nullopt}, {0, false, 0, 0.0, "0"},
        {3.9, true, 3, 3.9, "3.9"},         {"YES", true, 0, 0.0, "YES"},
        {"12", true, 12, 12.0, "12"},       {"2.5x", false, 0, 0.0, "2.5x"},
        {1e300, true, 0, 1e300, "1e+300"},  {PropertyList::array(), false, 0, 0.0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(defaults.set("key", c.stored));
        SCOPED_TRACE(defaults.stringForKey("key").value_or("(not text)"));
        EXPECT_EQ(defaults.boolForKey("key"), c.asBool);
        EXPECT_EQ(defaults.integerForKey("key"), c.asInteger);
        EXPECT_EQ(defaults.doubleForKey("key"), c.asDouble);
        EXPECT_EQ(defaults.stringForKey("key"), c.asString);
    }
}

TEST_F(UserDefaultsTest, DamagedFileStartsEmptyAndIsReplacedWhole) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "<?xml version=\"1.0\"?><plist><dict><key>a</key>";
    std::string logged;
    auto previous = setLogSink([&](std::string_view line) { logged += line; });
    UserDefaults defaults(file);
    setLogSink(previous);
    EXPECT_NE(logged.find("could not be read"), std::string::npos);
    EXPECT_FALSE(defaults.objectForKey("a"));
    EXPECT_TRUE(defaults.set("b", 2));
    ASSERT_TRUE(defaults.synchronize().ok());
    auto stored = PropertyList::fromFile(file);
    ASSERT_TRUE(stored.ok()) << stored.error();
    EXPECT_EQ(stored.value().integerForKey("b"), 2);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}

TEST_F(UserDefaultsTest, WriteFailureIsReportedAndKeptForTheNextTry) {
    std::ofstream(folder / "blocker") << "a file where the folder should be";
    UserDefaults defaults(folder / "blocker" / "defaults.plist");
    EXPECT_TRUE(defaults.set("a", 1));
    EXPECT_FALSE(defaults.synchronize().ok());
    std::filesystem::remove(folder / "blocker");
    EXPECT_TRUE(defaults.synchronize().ok());
    EXPECT_EQ(UserDefaults(folder / "blocker" / "defaults.plist").integerForKey("a"), 1);
}

TEST_F(UserDefaultsTest, StoredEntryThatCannotBeWrittenBackIsDropped) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "<?xml version=\"1.0\"?><plist><dict><key>kept</key><integer>1</integer>"
                           "<key>unpaired</key><string>&#xD800;</string></dict></plist>";
    auto previous = setLogSink([](std::string_view) {});
    UserDefaults defaults(file);
    setLogSink(previous);
    EXPECT_FALSE(defaults.objectForKey("unpaired"));
    EXPECT_TRUE(defaults.set("added", 2));
    ASSERT_TRUE(defaults.synchronize().ok());
    UserDefaults reread(file);
    EXPECT_EQ(reread.integerForKey("kept"), 1);
    EXPECT_EQ(reread.integerForKey("added"), 2);
}

TEST_F(UserDefaultsTest, ValueWithoutStoredFormIsRefusedAndLaterChangesAreSaved) {
    UserDefaults defaults(file);
    EXPECT_TRUE(defaults.set("before", 1));
    auto previous = setLogSink([](std::string_view) {});
    const PropertyList unstorable[] = {
        PropertyList(std::string("\xff\xfe")),
        PropertyList::array({PropertyList()}),
        PropertyList(PlistDate{std::numeric_limits<double>::infinity()}),
    };
    for (const PropertyList& value : unstorable)
        EXPECT_FALSE(defaults.set("bad", value).ok());
    setLogSink(previous);
    EXPECT_FALSE(defaults.objectForKey("bad"));
    EXPECT_TRUE(defaults.set("after", 2));
    ASSERT_TRUE(defaults.synchronize().ok());
    UserDefaults reread(file);
    EXPECT_EQ(reread.integerForKey("before"), 1);
    EXPECT_EQ(reread.integerForKey("after"), 2);
}

TEST_F(UserDefaultsTest, SettingsFolderFollowsTheConfigHome) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    std::string saved = savedConfig ? savedConfig : "";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    EXPECT_EQ(UserDefaults::settingsFolder(), folder / "com.morlunesoftware.vistrel3");
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1); // not absolute: ignored
    EXPECT_EQ(UserDefaults::settingsFolder(),
              std::filesystem::path(std::getenv("HOME")) / ".config" / "com.morlunesoftware.vistrel3");
    if (savedConfig)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace vtl
