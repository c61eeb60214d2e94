// Chapter and subtitle text of an export: chapter times on the 1/600 s grid, subtitles cut into
// sentences timed by words, SubRip times from the exact rational time, texts cut between
// characters, which speech objects give subtitles, and the tx3g description.

#include "export/ExportTextTracks.h"

#include "ExportLanguageMixSupport.h"
#include "model/CompositionChapterMark.h"

namespace vtl {
namespace {

using test::ExportMixFixture;

MediaTime at600(std::int64_t value) {
    return MediaTime{value, 600};
}

TEST(ExportTextTracksTest, SubRipTimesComeFromTheExactTime) {
    struct Case {
        MediaTime time;
        const char* text;
    };
    const Case cases[] = {
        {at600(900), "00:00:01,500"},
        {MediaTime::fromSeconds(3725.25, 600), "01:02:05,250"},
        {at600(0), "00:00:00,000"},
        // 603/600 s in floating point is 1.00499…, which would read 1004 ms.
        {at600(603), "00:00:01,005"},
        {at600(1), "00:00:00,001"},
        {MediaTime{1999, 1000}, "00:00:01,999"},
        {MediaTime{-600, 600}, "00:00:00,000"},
        {MediaTime::invalid(), "00:00:00,000"},
        {at600(600LL * 3600 * 100), "100:00:00,000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(subRipTime(c.time), c.text);
    }
}

TEST(ExportTextTracksTest, SpeechTextsBecomeSentencesTimedByTheirWords) {
    struct Expected {
        const char* text;
        std::int64_t start, duration; // 1/600 s
    };
    struct Case {
        const char* name;
        const char* text;
        double durationSeconds;
        double startSeconds;
        std::vector<Expected> subtitles;
    };
    const Case cases[] = {
        {"two words then one, in 3 s",
         "Hello there. Go!",
         3.0,
         10.0,
         {{"Hello there.", 6000, 1200}, {"Go!", 7200, 600}}},
        {"a lone digit takes no time",
         "Hello there.\n5\nGo on.",
         5.0,
         0.0,
         {{"Hello there.", 0, 1200}, {"Go on.", 1200, 1200}}},
        {"thirds stay on the grid without gaps",
         "One. Two. Three.",
         1.0,
         0.0,
         {{"One.", 0, 200}, {"Two.", 200, 200}, {"Three.", 400, 200}}},
        {"points inside numbers and abbreviations",
         "Pi is 3.14 today, e.g. here. Yes?",
         7.0,
         0.0,
         {{"Pi is 3.14 today, e.g. here.", 0, 3600}, {"Yes?", 3600, 600}}},
        {"quotes after the stop, spaces trimmed",
         "  \"Stop here.\"  Then go on.  ",
         4.0,
         1.0,
         {{"\"Stop here.\"", 600, 960}, {"Then go on.", 1560, 1440}}},
        {"ideographs count one each",
         "你好。世界和平。",
         3.0,
         0.0,
         {{"你好。", 0, 600}, {"世界和平。", 600, 1200}}},
        {"apostrophes join", "Don't stop. Go.", 3.0, 0.0, {{"Don't stop.", 0, 1200}, {"Go.", 1200, 600}}},
        {"no words: no subtitles", "!!! ... ?", 3.0, 0.0, {}},
        {"no duration: no subtitles", "Hello there.", 0.0, 0.0, {}},
        {"empty text", "", 3.0, 0.0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto subtitles = subtitlesFromSpeechText(c.text, c.durationSeconds, c.startSeconds);
        ASSERT_EQ(subtitles.size(), c.subtitles.size());
        for (std::size_t i = 0; i < subtitles.size(); ++i) {
            EXPECT_EQ(subtitles[i].text, c.subtitles[i].text);
            EXPECT_EQ(subtitles[i].start, at600(c.subtitles[i].start)) << subtitles[i].start.value;
            EXPECT_EQ(subtitles[i].duration, at600(c.subtitles[i].duration)) << subtitles[i].duration.value;
        }
    }
}

TEST(ExportTextTracksTest, LongTextsAreCutBetweenCharacters) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t kept;
    };
    const Case cases[] = {
        {"short text whole", "Chapter", 7},
        {"ASCII at the limit", std::string(65535, 'a'), 65535},
        {"ASCII over the limit", std::string(70000, 'a'), 65535},
        // 2-byte characters: 65535 would split the last one.
        {"two-byte characters",
         [] {
             std::string s;
             for (int i = 0; i < 40000; ++i)
                 s += "\xC3\xA9";
             return s;
         }(),
         65534},
        // "a" then 3-byte characters: 1 + 3 × 21844 = 65533.
        {"three-byte characters",
         [] {
             std::string s = "a";
             for (int i = 0; i < 30000; ++i)
                 s += "\xE2\x82\xAC";
             return s;
         }(),
         65533},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string cut = utf8Prefix(c.text, 65535);
        EXPECT_EQ(cut.size(), c.kept);
        EXPECT_EQ(cut, c.text.substr(0, c.kept));
    }
}

TEST(ExportTextTracksTest, SubtitleDescriptionCarriesFlagsColoursStyleAndFont) {
    const std::vector<std::uint8_t> expected = {
        0x40, 0x00, 0x00, 0x00,                         // forced subtitles present
        0x00, 0x00,                                     // justification
        0x00, 0x00, 0x00, 0xFF,                         // background
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // text box
        0x00, 0x00, 0x00, 0x00, 0x00, 0x01,             // style: characters 0–0, font 1
        0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,             // face, size 255, white
        0x00, 0x00, 0x00, 0x17, 'f',  't',  'a',  'b',  // font table
        0x00, 0x01, 0x00, 0x01, 0x0A, 'S',  'a',  'n',  's', '-', 'S', 'e', 'r', 'i', 'f'};
    EXPECT_EQ(subtitleSampleEntry(), expected);
}

class ExportTextTracksCompositionTest : public ExportMixFixture {};

TEST_F(ExportTextTracksCompositionTest, ChaptersAreOnTheSixHundredthGridInTimeOrder) {
    EXPECT_TRUE(exportChapters(*container()).empty()) << "no marks, no chapters";
    auto late = container()->createChapterMarkAtTime(20.0);
    late->setName("Late");
    auto early = container()->createChapterMarkAtTime(12.3456);
    early->setName("Early \xE2\x82\xAC");
    auto huge = container()->createChapterMarkAtTime(30.0);
    std::string longName = "a";
    for (int i = 0; i < 30000; ++i)
        longName += "\xE2\x82\xAC";
    huge->setName(longName);

    const auto chapters = exportChapters(*container());
    ASSERT_EQ(chapters.size(), 3u);
    EXPECT_EQ(chapters[0].text, "Early \xE2\x82\xAC");
    EXPECT_EQ(chapters[0].start, at600(7407));
    EXPECT_EQ(chapters[0].duration, at600(1));
    EXPECT_EQ(chapters[1].text, "Late");
    EXPECT_EQ(chapters[1].start, at600(12000));
    EXPECT_EQ(chapters[2].text.size(), 65533u) << "cut between characters";
}

TEST_F(ExportTextTracksCompositionTest, SubtitlesComeFromSpeechShownAsSubtitlesInTheLanguage) {
    speechObject({{"English", "Spoken only. Never shown."}}, SpeechRole::Spoken, 0.0);
    auto later = speechObject({{"English", "Shown later."}}, SpeechRole::SubtitleOnly, 20.0);
    auto both = speechObject({{"English", "Hello there. Go!"}, {"German", "Hallo."}},
                             SpeechRole::SpokenAndSubtitle, 5.0);
    // Beside the one at 5 s, so on a track of its own.
    auto disabled = speechObject({{"English", "On a disabled track."}}, SpeechRole::SubtitleOnly, 5.0);
    ASSERT_NE(disabled->containerTrack(), both->containerTrack());
    container()->setTrackDisabled(disabled->containerTrack()->trackNumber(), true);

    const double spoken = both->durationForLanguage("English");
    const double shown = later->durationForLanguage("English");
    ASSERT_GT(spoken, 0.5);
    ASSERT_GT(shown, 0.5);
    const auto english = exportSubtitles(*container(), *language(0));
    ASSERT_EQ(english.size(), 3u);
    EXPECT_EQ(english[0].text, "Hello there.");
    EXPECT_EQ(english[0].start, at600(3000));
    EXPECT_EQ(english[1].text, "Go!");
    EXPECT_EQ(english[1].start.value, english[0].start.value + english[0].duration.value);
    EXPECT_EQ(english[2].text, "Shown later.") << "in time order";
    EXPECT_EQ(english[2].start, at600(12000));

    std::string expected;
    const char* texts[] = {"Hello there.", "Go!", "Shown later."};
    for (std::size_t i = 0; i < english.size(); ++i) {
        const MediaTime end{english[i].start.value + english[i].duration.value, 600};
        expected += std::to_string(i + 1) + "\n" + subRipTime(english[i].start) + " --> " + subRipTime(end) +
                    "\n" + texts[i] + "\n\n";
    }
    EXPECT_EQ(captionsString(*container(), *language(0)), expected);
    EXPECT_EQ(expected.rfind("1\n00:00:05,000 --> ", 0), 0u) << expected;
    EXPECT_TRUE(hasCaptionString(*container(), *language(0)));

    const auto german = exportSubtitles(*container(), *language(2));
    ASSERT_EQ(german.size(), 1u);
    EXPECT_EQ(german[0].text, "Hallo.");
    EXPECT_FALSE(hasCaptionString(*container(), *language(1))) << "no text in French";
    EXPECT_EQ(captionsString(*container(), *language(1)), "");
    EXPECT_FALSE(hasCaptionString(*container(), *language(VistrelLanguage::kAllLanguages)));
}

} // namespace
} // namespace vtl
