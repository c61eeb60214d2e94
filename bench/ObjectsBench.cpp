// The still objects' pictures, each beside its baseline in the same run:
//  - a shape (filled star with a dashed frame) on a 1920 × 1080 canvas against QPainter filling
//    and dash-stroking the same path into a new QImage of the canvas size;
//  - three lines of 48 pt text with a shadow against QPainter drawing the same text into a new
//    QImage plus the imaging layer's blur of that picture (one worker);
//  - the first picture of a 4000 × 3000 JPEG (loading the file and the first rasterisation)
//    against QImageReader decoding it;
//  - cached renders of each object (the renderer's cache hit).
// The C library's allocator moves its thresholds for returning memory to the system as blocks
// come and go, and with them whether a picture of a few hundred kilobytes comes back as fresh
// pages (about 1.6 ms of page faults here) or as reused memory: either path flips between the
// two within one run. Both sides are measured with the thresholds fixed.

#include "document/CompositionDocument.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionImageObject.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/ObjectPictures.h" // from tests/
#include "objects/RectangularObjectArchiving.h"
#include "objects/TextPicture.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/CPUTileEvaluator.h"
#include "platform/imaging/FilterRegistry.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <malloc.h>
#include <unistd.h>

using namespace vtl;

namespace {

const bool fixedAllocatorThresholds = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    return true;
}();

constexpr const char* benchText = "Three lines of text\nwith a shadow under\nevery one of them";

QGuiApplication& application() {
    static int argc = 1;
    static char name[] = "objects_bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(argc, argv);
    return app;
}

struct Scene {
    Scene() {
        application();
        registerVisualObjectClasses();
        registerBuiltinFilters();
        document.objectsContainer()->setCanvasSize(Size(1920, 1080));
    }
    CompositionDocument document;
    CompositionObjectsContainer* container() { return document.objectsContainer().get(); }
};

std::shared_ptr<CompositionShapeObject> benchShape(Scene& scene) {
    auto shape = makeModelObject<CompositionShapeObject>(scene.container(), 2);
    shape->setStartTimeEndTime(0, 10);
    scene.container()->addObject(shape);
    shape->setRect(Rect(400, 200, 1000, 700), 0);
    shape->setNumberOfCorners(7, 0);
    shape->setIsStar(true, 0);
    shape->setDrawsFrame(true, 0);
    shape->setFrameThickness(6, 0);
    shape->setIsDashed(true);
    shape->setDashSize(20);
    return shape;
}

QPainterPath toPainterPath(const BezierPath& path) {
    QPainterPath out;
    for (const auto& e : path.elements()) {
        switch (e.type) {
        case BezierPath::ElementType::MoveTo:
            out.moveTo(e.points[0].x, 1080 - e.points[0].y);
            break;
        case BezierPath::ElementType::LineTo:
            out.lineTo(e.points[0].x, 1080 - e.points[0].y);
            break;
        case BezierPath::ElementType::CurveTo:
            out.cubicTo(e.points[0].x, 1080 - e.points[0].y, e.points[1].x, 1080 - e.points[1].y,
                        e.points[2].x, 1080 - e.points[2].y);
            break;
        case BezierPath::ElementType::ClosePath:
            out.closeSubpath();
            break;
        }
    }
    return out;
}

void BM_ShapeImage(benchmark::State& state) {
    Scene scene;
    auto shape = benchShape(scene);
    for (auto _ : state)
        benchmark::DoNotOptimize(shape->ciImageAtTime(0, nullptr));
}
BENCHMARK(BM_ShapeImage)->Unit(benchmark::kMillisecond);

void BM_ShapeImage_QPainter(benchmark::State& state) {
    Scene scene;
    auto shape = benchShape(scene);
    const QPainterPath path = toPainterPath(shape->pathInRect(Rect(400, 200, 1000, 700), 0));
    QPen pen(QColor(255, 26, 26));
    pen.setWidthF(6);
    pen.setDashPattern({20.0 / 6, 12.0 / 6});
    pen.setJoinStyle(Qt::MiterJoin);
    for (auto _ : state) {
        QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, QColor(170, 170, 170));
        painter.strokePath(path, pen);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ShapeImage_QPainter)->Unit(benchmark::kMillisecond);

TextPictureStyle benchTextStyle() {
    TextPictureStyle style;
    style.fontName = "DejaVu Sans";
    style.pointSize = 48;
    style.color = RGBAColor::device(1, 1, 1);
    style.drawsShadow = true;
    style.shadowColor = RGBAColor::device(0, 0, 0, 0.3);
    style.shadowOpacity = 0.5f;
    style.shadowRadius = 3;
    style.shadowDistance = 5;
    return style;
}

void BM_TextWithShadow(benchmark::State& state) {
    application();
    const TextPictureStyle style = benchTextStyle();
    const Size size = requiredTextSize(benchText, style);
    for (auto _ : state)
        benchmark::DoNotOptimize(renderTextPicture(benchText, 1000, size, style, 0, 1, 1, nullptr));
    state.counters["width"] = size.width;
    state.counters["height"] = size.height;
}
BENCHMARK(BM_TextWithShadow)->Unit(benchmark::kMillisecond);

void BM_TextWithShadow_QPainterAndBlur(benchmark::State& state) {
    application();
    registerBuiltinFilters();
    const TextPictureStyle style = benchTextStyle();
    const Size size = requiredTextSize(benchText, style);
    const int w = int(std::ceil(size.width)), h = int(std::ceil(size.height));
    QFont font("DejaVu Sans");
    font.setPointSizeF(48);
    CPUTileEvaluator evaluator(1);
    for (auto _ : state) {
        auto bitmap = std::make_shared<Bitmap>(w, h);
        QImage image(bitmap->data(), w, h, qsizetype(bitmap->bytesPerRow()),
                     QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(10, 10, w - 20, h - 20), Qt::AlignHCenter | Qt::AlignTop, benchText);
        painter.end();
        auto blur = CIFilter::filterWithName("CIGaussianBlur");
        blur->setValue("inputImage", CIImage::imageWithBitmap(bitmap));
        blur->setValue("inputRadius", 3.0);
        CIImage blurred = blur->outputImage();
        const PixelRegion region{0, 0, w, h};
        std::vector<std::uint8_t> out(std::size_t(region.pixelCount()) * 4);
        PixelSpan span{out.data(), std::ptrdiff_t(w) * 4, w, h};
        benchmark::DoNotOptimize(evaluator.draw(blurred, region, span, DrawMode::Copy).ok());
    }
}
BENCHMARK(BM_TextWithShadow_QPainterAndBlur)->Unit(benchmark::kMillisecond);

const std::filesystem::path& largeJpeg() {
    static const std::filesystem::path path = [] {
        application();
        auto file =
            std::filesystem::temp_directory_path() / ("objects-bench-" + std::to_string(::getpid()) + ".jpg");
        QImage image(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < 3000; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < 4000; ++x)
                row[x] = qRgb((x * 7 + y) & 255, (x + y * 3) & 255, (x ^ y) & 255);
        }
        image.save(QString::fromStdString(file.string()), "JPEG", 90);
        std::atexit([] { std::filesystem::remove(largeJpeg()); });
        return file;
    }();
    return path;
}

void BM_JpegFirstPicture(benchmark::State& state) {
    Scene scene;
    SharedMediaManager media(std::filesystem::temp_directory_path() / "objects-bench-resources");
    auto entry = media.entryForResourceWithFileSystemPath(largeJpeg().string(), &scene.document,
                                                          SharedMediaManager::ResourceCopy::None);
    auto object = makeModelObject<CompositionImageObject>(scene.container());
    for (auto _ : state) {
        object->setMediaEntry(entry);
        benchmark::DoNotOptimize(object->createImageAtTime(ObjectImageRequest{}));
    }
}
BENCHMARK(BM_JpegFirstPicture)->Unit(benchmark::kMillisecond);

void BM_JpegFirstPicture_QImageReader(benchmark::State& state) {
    const QString path = QString::fromStdString(largeJpeg().string());
    for (auto _ : state) {
        QImageReader reader(path);
        benchmark::DoNotOptimize(reader.read().constBits());
    }
}
BENCHMARK(BM_JpegFirstPicture_QImageReader)->Unit(benchmark::kMillisecond);

void BM_CachedRender(benchmark::State& state) {
    Scene scene;
    test::MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    request.compositionTime = 1;
    auto shape = benchShape(scene);
    auto text = makeModelObject<CompositionTextObject>(scene.container());
    text->setStartTimeEndTime(0, 10);
    scene.container()->addObject(text);
    text->setText(benchText);
    const int which = int(state.range(0));
    for (auto _ : state) {
        if (which == 0)
            benchmark::DoNotOptimize(shape->createImageAtTime(request));
        else
            benchmark::DoNotOptimize(text->createImageAtTime(request));
    }
    state.SetLabel(which == 0 ? "shape" : "text");
}
BENCHMARK(BM_CachedRender)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// What the renderer asks each frame of an unchanged object with a shadow: the list of its
// pictures, the shadow reused under the picture's stamp.
void BM_CachedPipelineList(benchmark::State& state) {
    Scene scene;
    test::MemoryImageCache cache;
    ObjectImageRequest request;
    request.renderer = &cache;
    request.compositionTime = 1;
    auto text = makeModelObject<CompositionTextObject>(scene.container());
    text->setStartTimeEndTime(0, 10);
    scene.container()->addObject(text);
    text->setText(benchText);
    std::shared_ptr<CompositionRectangularObject> object;
    if (state.range(0) == 0)
        object = benchShape(scene);
    else
        object = text;
    object->setDrawsShadow(true, 0);
    object->setShadowDistance(6, 0);
    object->setShadowRadius(4, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(object->createScaledImagesForTime(request, BackAndFrontImages::Include));
    state.SetLabel(state.range(0) == 0 ? "shape" : "text");
}
BENCHMARK(BM_CachedPipelineList)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
