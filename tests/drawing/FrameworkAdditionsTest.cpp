#include "drawing/CollectionAdditions.h"
#include "drawing/ColorAdditions.h"
#include "drawing/ImageAdditions.h"
#include "drawing/ScreenAndFontAdditions.h"
#include "drawing/StringAdditions.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <unistd.h>

namespace vtl {
namespace {

TEST(TimeText, Formats) {
    struct Case {
        double seconds;
        const char* frames;
        const char* omitted;
        const char* full;
    };
    const Case cases[] = {
        {3725.678, "01:02:05.67", "01:02:05", "01:02:05"}, {59.999, "00:00:59.99", "00:59", "00:00:59"},
        {65.9, "00:01:05.90", "01:05", "00:01:05"},        {3600, "01:00:00.00", "01:00:00", "01:00:00"},
        {0, "00:00:00.00", "00:00", "00:00:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hoursMinutesSecondsFramesFromTime(c.seconds), c.frames) << c.seconds;
        EXPECT_EQ(hoursMinutesSecondsFromTime(true, c.seconds), c.omitted) << c.seconds;
        EXPECT_EQ(hoursMinutesSecondsFromTime(false, c.seconds), c.full) << c.seconds;
    }
    EXPECT_EQ(hoursMinutesSecondsFromTime(true, -65.2), "-01:06");
    EXPECT_EQ(hoursMinutesSecondsFromTime(true, -1.5), "-00:02");
    EXPECT_EQ(hoursMinutesSecondsFromTime(false, -3600.5), "-01:00:01");

    // Times read from documents: beyond the range of int, or not a number at all.
    const Case outside[] = {
        {1e10, "2777777:46:40.00", "2777777:46:40", "2777777:46:40"},
        {std::nan(""), "00:00:00.00", "00:00", "00:00:00"},
    };
    for (const Case& c : outside) {
        EXPECT_EQ(hoursMinutesSecondsFramesFromTime(c.seconds), c.frames) << c.seconds;
        EXPECT_EQ(hoursMinutesSecondsFromTime(true, c.seconds), c.omitted) << c.seconds;
        EXPECT_EQ(hoursMinutesSecondsFromTime(false, c.seconds), c.full) << c.seconds;
    }
    EXPECT_EQ(hoursMinutesSecondsFromTime(false, -1e300), "-277777777:46:40");
}

TEST(PathText, FileNames) {
    struct Case {
        const char* in;
        const char* out;
        bool valid;
    };
    const Case cases[] = {{"..~/a/b", "-a-b", false},     {"~.x", ".x", false},
                          {"name.txt", "name.txt", true}, {"", "", false},
                          {"a/b", "a-b", false},          {"...", "", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(validFileName(c.in), c.out) << c.in;
        EXPECT_EQ(isValidFilename(c.in), c.valid) << c.in;
    }
    std::string s = "abababc";
    removePrefixRepeatedly("ab", s);
    EXPECT_EQ(s, "c");

    auto dir = std::filesystem::temp_directory_path() / ("vtl-types-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "a.PNG") << "x";
    std::ofstream(dir / "b.unknown") << "x";
    EXPECT_EQ(typeOfFile((dir / "a.PNG").string()), "public.png");
    EXPECT_EQ(typeOfFile((dir / "b.unknown").string()), "public.data");
    EXPECT_EQ(typeOfFile(dir.string()), "public.folder");
    EXPECT_FALSE(typeOfFile((dir / "missing").string()));
    std::filesystem::remove_all(dir);
}

struct Base {
    virtual ~Base() = default;
    int v = 0;
    bool operator==(const Base& o) const { return v == o.v; }
};
struct Derived : Base {};

TEST(Collections, EqualityKindsAndSets) {
    std::vector<std::string> abc{"a", "b", "c"};
    EXPECT_EQ(arrayWithObjectsFromBothArray(abc, {"c", "a"}), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(arrayWithObjectsFromBothArray<std::string>({"a", "a", "b"}, {"a"}),
              (std::vector<std::string>{"a", "a"}));
    EXPECT_EQ(arrayByRemovingObjectsFromArray<std::string>({"a", "b", "a"}, {"a"}),
              (std::vector<std::string>{"b"}));
    EXPECT_EQ(arrayByRemovingObjectsFromArray<std::string>(abc, {}), abc);
    EXPECT_EQ(indexOfObjectThatIsEqualButNotNecessarilyTheSame(abc, std::string("b")), 1);
    EXPECT_EQ(indexOfObjectThatIsEqualButNotNecessarilyTheSame(std::vector<std::string>{}, std::string("b")),
              kNotFound);
    EXPECT_EQ(arrayOfUniqueObjects<std::string>({"a", "b", "a"}).size(), 2u);
    std::vector<std::string> grow{"a"};
    addObjectsFromArrayIfNotPresent<std::string>(grow, {"b", "a", "b", "c"});
    EXPECT_EQ(grow, (std::vector<std::string>{"a", "b", "c"}));

    auto one = std::make_shared<Base>(), same = std::make_shared<Base>();
    auto derived = std::make_shared<Derived>();
    derived->v = 2;
    std::vector<std::shared_ptr<Base>> objects{one, derived};
    EXPECT_EQ(indexOfObjectThatIsEqualButNotNecessarilyTheSame(objects, same), 0) << "equal, not identical";
    EXPECT_EQ(objectsOfKind<Derived>(objects).size(), 1u);
    EXPECT_EQ(objectsNotOfKind<Derived>(objects), (std::vector<std::shared_ptr<Base>>{one}));
    EXPECT_EQ(firstObjectOfClass<Derived>(objects), derived);
    addIfNotNil(objects, std::shared_ptr<Base>());
    EXPECT_EQ(objects.size(), 2u);
    auto kept = mutableDeepCopy(objects);
    EXPECT_EQ(kept, objects) << "polymorphic elements without copy() are not cut down to the base";

    struct Plain {
        int v = 0;
        bool operator==(const Plain&) const = default;
    };
    struct Cloneable {
        int v = 0;
        std::shared_ptr<Cloneable> copy() const { return std::make_shared<Cloneable>(Cloneable{v + 100}); }
    };
    std::vector<std::shared_ptr<Plain>> plain{std::make_shared<Plain>(Plain{7})};
    auto plainCopy = mutableDeepCopy(plain);
    EXPECT_NE(plainCopy[0], plain[0]);
    EXPECT_EQ(plainCopy[0]->v, 7);
    std::vector<std::shared_ptr<Cloneable>> cloneable{std::make_shared<Cloneable>()};
    EXPECT_EQ(deepCopy(cloneable)[0]->v, 100) << "the element's own copy decides";
    std::map<std::string, std::shared_ptr<Plain>> dictionary{{"k", plain[0]}};
    EXPECT_NE(mutableDeepCopy(dictionary)["k"], plain[0]);
}

TEST(Screens, ReferenceScreenAndConversion) {
    Screen left{"left", {-1440, 0, 1440, 900}, {}, 1}, main{"main", {0, 0, 1920, 1080}, {}, 1};
    EXPECT_EQ(referenceScreen({left, main})->name, "main");
    Screen other{"other", {1920, 0, 100, 100}, {}, 1};
    EXPECT_EQ(referenceScreen({left, other})->name, "left");
    EXPECT_FALSE(referenceScreen(std::vector<Screen>{}));
    EXPECT_EQ(xPositionOfScreen(left), -1440.0f);
    // A 1920 × 1080 primary screen: a window-system rectangle at the top-left is at y = 1080 − h.
    EXPECT_EQ(Screen::globalRectFromWindowSystem({10, 20, 100, 50}, 1080), (Rect{10, 1010, 100, 50}));
    auto screens = Screen::screens();
    ASSERT_FALSE(screens.empty()) << "the offscreen platform has a screen";
    EXPECT_EQ(screens[0].frame.origin, (Point{0, 0}));
    EXPECT_EQ(systemFontFallbackFontWithName("NoSuchFontAnywhere", 13), Font::systemFont(13));
}

TEST(ColorAdditionsTest, Conversions) {
    Color c = Color::rgb(0.2, 0.4, 0.6, 0.5);
    Color swapped = colorBySwappingRedAndBlue(c);
    EXPECT_NEAR(swapped.red, 0.6, 1e-3);
    EXPECT_NEAR(swapped.blue, 0.2, 1e-3);
    EXPECT_NEAR(swapped.alpha, 0.5, 1e-3);
    EXPECT_EQ(ciColor(c).alpha, 1.0);
    EXPECT_NEAR(rgbColor(c).red, 0.2, 1e-4);
    EXPECT_EQ(colorWithAlpha(c, 0.25f).alpha, 0.25);
    Color shifted = colorByAddingHue(Color::rgb(1, 0, 0), 1.0f / 3, 0, -0.5f, 0);
    EXPECT_NEAR(shifted.green, 0.5, 1e-3);
    EXPECT_NEAR(shifted.red, 0, 1e-3);
}

TEST(ImageAdditionsTest, Representations) {
    Image image({16, 16});
    for (int s : {16, 32, 128})
        image.addRepresentation(std::make_shared<Bitmap>(s, s));
    EXPECT_EQ(bestRepresentationForSize(image, {20, 20})->width(), 32);
    EXPECT_EQ(bestRepresentationForSize(image, {256, 256})->width(), 128);
    Image mixed({32, 32});
    mixed.addRepresentation(std::make_shared<Bitmap>(32, 32));
    mixed.addRepresentation(std::make_shared<Bitmap>(16, 64));
    EXPECT_EQ(sizeOfSmallestRepresentation(mixed), (Size{32, 32}));
    EXPECT_EQ(sizeOfFirstBitmapRepresentation(mixed), (Size{32, 32}));
    EXPECT_EQ(sizeOfFirstBitmapRepresentation(Image({7, 8})), (Size{7, 8}));

    Image odd({10.2, 5});
    odd.addRepresentation(std::make_shared<Bitmap>(10, 5));
    BitmapRef scaled = bitmapRepresentationWithScalingFactor(odd, 2);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->width(), 21);
    EXPECT_EQ(scaled->height(), 10);
    EXPECT_EQ(scaled->bytesPerRow(), 84u);

    Image retina({10, 10});
    retina.addRepresentation(std::make_shared<Bitmap>(20, 20));
    float factor = 0;
    EXPECT_TRUE(ciimageWithFactor(retina, &factor));
    EXPECT_EQ(factor, 2);
    EXPECT_TRUE(ciimageWithFactor(retina, nullptr));
}

TEST(ImageAdditionsTest, FlipRotateAndShadow) {
    // Top half red, bottom half transparent.
    auto bitmap = std::make_shared<Bitmap>(4, 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            bitmap->setPixel(x, y, {0, 0, 255, 255});
    auto image = Image::withBitmap(bitmap);
    ImageRef flipped = flippedImage(*image);
    BitmapRef f = flipped->representations()[0].bitmap;
    EXPECT_EQ(flipped->size(), image->size());
    EXPECT_EQ(f->pixelAt(1, 3).r, 255);
    EXPECT_EQ(f->pixelAt(1, 0).a, 0);
    BitmapRef r = imageRotatedByDegrees(*image, 90)->representations()[0].bitmap;
    EXPECT_EQ(r->pixelAt(0, 1).r, 255) << "a quarter turn counter-clockwise moves the top to the left";
    EXPECT_EQ(r->pixelAt(3, 1).a, 0);

    PlacedBitmap shadow = shadowWithBlurRadius(*image, 2, Color::rgb(0, 1, 0));
    ASSERT_TRUE(shadow.bitmap);
    EXPECT_LT(shadow.origin.x, 0);
    EXPECT_GT(shadow.bitmap->width(), 4);
    int cx = static_cast<int>(-shadow.origin.x) + 1;
    Bitmap::Pixel inside = shadow.bitmap->pixelAt(cx, static_cast<int>(-shadow.origin.y) + 1);
    EXPECT_GT(inside.g, 0);
    EXPECT_EQ(inside.r, 0) << "all of the shadow is in the colour";
    PlacedBitmap under = imageWithShadowWithBlurRadius(*image, 1, Color::black(), {3, -3}, 0.5f);
    ASSERT_TRUE(under.bitmap);
    EXPECT_GT(under.bitmap->width(), 4);
}

} // namespace
} // namespace vtl
