#include "drawing/views/VTLProgressIndicator.h"
#include "drawing/views/VTLSimpleSlider.h"
#include "ui/WidgetsTestEnvironment.h"

#include <QTest>
#include <any>
#include <gtest/gtest.h>
#include <vector>

namespace vtl {
namespace {

using test::renderWidget;

// A 200 × 30 slider made in code, shown as a window so that mouse events reach it.
struct ShownSlider {
    ShownSlider() {
        slider.setMinimum(10);
        slider.setMaximum(20);
        slider.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&slider));
        slider.addObserver(
            "current", KeyValueObservingOptions::newValue, nullptr,
            [this](const KeyValueChange& c) { currents.push_back(std::any_cast<double>(c.newValue)); });
        slider.addObserver(
            "mouseIsDown", KeyValueObservingOptions::newValue, nullptr,
            [this](const KeyValueChange& c) { downs.push_back(std::any_cast<bool>(c.newValue)); });
        slider.setTargetAction([this](VTLSimpleSlider&) { ++actions; });
    }
    VTLSimpleSlider slider{Rect(0, 0, 200, 30)};
    std::vector<double> currents;
    std::vector<bool> downs;
    int actions = 0;
};

TEST(VTLSimpleSlider, APressSetsTheValueOfItsPositionClampedToTheRange) {
    struct Case {
        int x;
        double value;
    } cases[] = {{14, 10}, {186, 20}, {100, 15}, {5, 10}, {195, 20}};
    for (const Case& c : cases) {
        ShownSlider s;
        QTest::mousePress(&s.slider, Qt::LeftButton, {}, QPoint(c.x, 15));
        EXPECT_EQ(s.slider.current(), c.value) << "x " << c.x;
        EXPECT_TRUE(s.slider.mouseIsDown());
        QTest::mouseRelease(&s.slider, Qt::LeftButton, {}, QPoint(c.x, 15));
        // A click is announced but sends no action.
        EXPECT_EQ(s.currents, std::vector<double>{c.value});
        EXPECT_EQ(s.downs, (std::vector<bool>{true, false}));
        EXPECT_EQ(s.actions, 0);
    }
}

TEST(VTLSimpleSlider, EachDragStepSendsTheActionOnce) {
    ShownSlider s;
    QTest::mousePress(&s.slider, Qt::LeftButton, {}, QPoint(14, 15));
    QTest::mouseMove(&s.slider, QPoint(57, 15));
    QTest::mouseMove(&s.slider, QPoint(143, 15));
    QTest::mouseRelease(&s.slider, Qt::LeftButton, {}, QPoint(143, 15));
    EXPECT_EQ(s.actions, 2);
    EXPECT_EQ(s.currents, (std::vector<double>{10, 12.5, 17.5}));
}

TEST(VTLSimpleSlider, DisabledInteractionChangesAndSendsNothing) {
    ShownSlider s;
    s.slider.setInteractionDisabled(true);
    QTest::mousePress(&s.slider, Qt::LeftButton, {}, QPoint(100, 15));
    QTest::mouseMove(&s.slider, QPoint(150, 15));
    QTest::mouseRelease(&s.slider, Qt::LeftButton, {}, QPoint(150, 15));
    EXPECT_EQ(s.slider.current(), 0);
    EXPECT_TRUE(s.currents.empty());
    EXPECT_TRUE(s.downs.empty());
    EXPECT_EQ(s.actions, 0);
}

TEST(VTLSimpleSlider, SettingTheValueCapsItAtTheMaximumOnly) {
    VTLSimpleSlider slider(Rect(0, 0, 200, 30));
    slider.setMinimum(10);
    slider.setMaximum(20);
    slider.setCurrent(25);
    EXPECT_EQ(slider.current(), 20);
    slider.setCurrent(5);
    EXPECT_EQ(slider.current(), 5);
}

TEST(VTLSimpleSlider, ZeroRangesAndNarrowSlidersGiveFractionZero) {
    VTLSimpleSlider narrow(Rect(0, 0, 20, 30)); // narrower than two 14-point knobs
    for (float x : {0.f, 10.f, 20.f})
        EXPECT_EQ(narrow.pixelPositionToFraction(x), 0.f);
    VTLSimpleSlider exact(Rect(0, 0, 28, 30)); // a track of no width
    EXPECT_EQ(exact.pixelPositionToFraction(14.f), 0.f);

    VTLSimpleSlider flat(Rect(0, 0, 200, 30));
    flat.setMinimum(1);
    flat.setMaximum(1);
    flat.setCurrent(1);
    EXPECT_EQ(flat.knobRect().center().x, 14); // at the start of the track
    renderWidget(flat);                        // draws without a division by zero
}

TEST(VTLSimpleSlider, TheKnobGrowsToItsFullSizeWhilePressed) {
    struct Case {
        VTLSimpleSlider::Creation creation;
        double released, pressed;
    } cases[] = {{VTLSimpleSlider::Creation::InCode, 8, 14},
                 {VTLSimpleSlider::Creation::FromInterfaceFile, 9, 16}};
    for (const Case& c : cases) {
        VTLSimpleSlider slider(Rect(0, 0, 200, 30), c.creation);
        slider.setCurrent(0.5);
        EXPECT_EQ(slider.knobRect().width(), c.released);
        // Nothing 7 points above the centre line while released: the small knob does not reach.
        const QImage small = renderWidget(slider);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
        QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 15));
        EXPECT_EQ(slider.knobRect().width(), c.pressed);
        EXPECT_EQ(slider.knobRect().center(), (Point{100, 15}));
        const QImage large = renderWidget(slider);
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(100, 15));
        EXPECT_LT(qAlpha(small.pixel(100, 15 - 7)), 64);
        EXPECT_EQ(qAlpha(large.pixel(100, 15 - 7)), 255);
    }
}

TEST(VTLSimpleSlider, NothingIsDrawnWithoutAPositiveMaximum) {
    VTLSimpleSlider slider(Rect(0, 0, 100, 20));
    slider.setMaximum(0);
    const QImage image = renderWidget(slider);
    for (int x = 0; x < 100; x += 5)
        EXPECT_EQ(qAlpha(image.pixel(x, 10)), 0);
}

// Bar colours: light background (0.7, 0.7, 1.0), fill and stripes (0, 0, 0.8).
bool isFill(QRgb p) {
    return qRed(p) == 0 && qBlue(p) == 204;
}
bool isBackground(QRgb p) {
    return qRed(p) == 179 && qBlue(p) == 255;
}

TEST(VTLProgressIndicator, TheDeterminateFillIsClampedToTheRange) {
    struct Case {
        double min, max, current;
        int filledUpTo; // x pixels filled of 100
    } cases[] = {{0, 100, 150, 100}, {0, 100, -5, 0}, {0, 100, 25, 25}, {50, 50, 50, 0}};
    for (const Case& c : cases) {
        VTLProgressIndicator bar(Rect(0, 0, 100, 10));
        bar.setMinimum(c.min);
        bar.setMaximum(c.max);
        bar.setCurrent(c.current);
        const QImage image = renderWidget(bar);
        if (c.filledUpTo > 0) {
            EXPECT_TRUE(isFill(image.pixel(c.filledUpTo - 1, 5))) << c.current;
        }
        if (c.filledUpTo < 100) {
            EXPECT_TRUE(isBackground(image.pixel(c.filledUpTo, 5))) << c.current;
        }
    }
}

TEST(VTLProgressIndicator, StripesMoveByAFifteenthOfAPeriodPerStep) {
    VTLProgressIndicator bar(Rect(0, 0, 100, 10)); // stripes 10 pixels wide, 20 apart
    bar.setIndeterminate(true);
    std::vector<int> phases;
    for (int i = 0; i < 16; ++i) {
        phases.push_back(bar.indeterminateProgress());
        if (i == 0) {
            const QImage image = renderWidget(bar);
            EXPECT_TRUE(isFill(image.pixel(5, 5)));
            EXPECT_TRUE(isBackground(image.pixel(15, 5)));
        }
        if (i == 8) {
            // Offset 8 × 2/15 of a stripe: the first stripe now covers x 10.7 … 20.7.
            const QImage image = renderWidget(bar);
            EXPECT_TRUE(isBackground(image.pixel(5, 5)));
            EXPECT_TRUE(isFill(image.pixel(15, 5)));
        }
        bar.advanceIndeterminateAnimation();
    }
    EXPECT_EQ(phases, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0}));
}

TEST(VTLProgressIndicator, TheTimerRunsOnlyWhileIndeterminateAndShown) {
    VTLProgressIndicator bar(Rect(0, 0, 100, 10));
    bar.show();
    EXPECT_FALSE(bar.isAnimating());
    bar.setIndeterminate(true);
    EXPECT_TRUE(bar.isAnimating());
    ASSERT_TRUE(test::processEventsUntil([&] { return bar.indeterminateProgress() >= 2; }));
    bar.setHidden(true);
    EXPECT_FALSE(bar.isAnimating());
    bar.setHidden(false);
    EXPECT_TRUE(bar.isAnimating());
    bar.setIndeterminate(false);
    EXPECT_FALSE(bar.isAnimating());
    bar.setHidden(true);
    bar.setHidden(false);
    EXPECT_FALSE(bar.isAnimating());
}

} // namespace
} // namespace vtl
