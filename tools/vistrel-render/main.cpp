// vistrel-render INPUT --time T --out FILE.(png|jpg) [--size WxH]: renders the composition package
// or recording package INPUT at T seconds through the offscreen generator, at the canvas size or
// W × H pixels, into a PNG of straight-alpha RGBA pixels or a JPEG, as the output's name says. Exits 1 with
// one line on standard error when the input cannot be read or the picture cannot be made or written, 2 on
// wrong arguments.

#include "document/DocumentOpening.h"
#include "model/SharedMediaManager.h"
#include "platform/graphics/Bitmap.h"
#include "render/VTLObjectsContainerImageGenerator.h"

#include <QGuiApplication>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <unistd.h>

using namespace vtl;

namespace {

constexpr const char* usage = "usage: vistrel-render INPUT --time T --out FILE.(png|jpg) [--size WxH]";
// Sides beyond this are refused (the generator's limit).
constexpr long maximumSide = 16384;

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-render: %s (%s)\n", message.c_str(), usage);
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vistrel-render: %s\n", message.c_str());
    return 1;
}

std::optional<double> parseTime(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

std::optional<long> parseSide(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6)
        return std::nullopt;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > maximumSide) return std::nullopt;
    return value;
}

// Premultiplied B, G, R, A frame rows into the bitmap the PNG is made from (the encoder writes
// straight alpha).
std::shared_ptr<Bitmap> bitmapOf(const BitmapImage& image) {
    auto bitmap = std::make_shared<Bitmap>(int(image.width()), int(image.height()));
    if (!bitmap->data()) return nullptr;
    for (std::size_t y = 0; y < image.height(); ++y)
        std::memcpy(bitmap->data() + y * bitmap->bytesPerRow(), image.rowAt(y), image.width() * 4);
    return bitmap;
}

int runTool(int argc, char** argv) {
    std::optional<std::string> input, out, timeText, sizeText;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::printf("%s\n", usage);
            return 0;
        }
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (argument == "--time") {
            if (!value(timeText)) return usageError("--time needs a value.");
        } else if (argument == "--out") {
            if (!value(out)) return usageError("--out needs a value.");
        } else if (argument == "--size") {
            if (!value(sizeText)) return usageError("--size needs a value.");
        } else if (argument.rfind("--", 0) == 0) {
            return usageError("unknown option " + argument + ".");
        } else if (input) {
            return usageError("only one input can be rendered.");
        } else {
            input = argument;
        }
    }
    if (!input) return usageError("no input given.");
    if (!timeText) return usageError("no time given.");
    if (!out) return usageError("no output file given.");
    std::string extension = std::filesystem::path(*out).extension().string();
    for (char& c : extension)
        c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    const bool jpeg = extension == ".jpg" || extension == ".jpeg";
    if (!jpeg && extension != ".png")
        return usageError("the output \"" + *out + "\" does not end in .png, .jpg or .jpeg.");
    const std::optional<double> time = parseTime(*timeText);
    if (!time) return usageError("the time \"" + *timeText + "\" is not a number of seconds of at least 0.");
    std::optional<Size> size;
    if (sizeText) {
        const std::size_t x = sizeText->find('x');
        const std::optional<long> w =
            x == std::string::npos ? std::nullopt : parseSide(sizeText->substr(0, x));
        const std::optional<long> h =
            x == std::string::npos ? std::nullopt : parseSide(sizeText->substr(x + 1));
        if (!w || !h)
            return usageError("the size \"" + *sizeText + "\" is not WxH with sides from 1 to " +
                              std::to_string(maximumSide) + ".");
        size = Size{double(*w), double(*h)};
    }

    // Texts lay out with the font system, which needs an application object; no display is used.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char qtName[] = "vistrel-render";
    static char* qtArgv[] = {qtName, nullptr};
    // The tool reports failures in one line of its own; the toolkit's notes would add more.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication application(qtArgc, qtArgv);

    const std::filesystem::path temporary =
        std::filesystem::temp_directory_path() / ("vistrel-render-" + std::to_string(::getpid()));
    SharedMediaManager media(temporary);
    Result<std::unique_ptr<CompositionDocument>> opened = openDocument(*input, media);
    if (!opened) return failure(opened.error());
    const CompositionObjectsContainer& container = *opened.value()->objectsContainer();

    // Past its end a composition shows only its background; that picture would only mislead. (One
    // without objects shows its background at every time.)
    const double end = container.maximumVisibleTime();
    if (end > 0 && *time >= end)
        return failure("the time " + *timeText + " s is past the composition's end at " +
                       std::to_string(end) + " s.");
    const Size outputSize = size ? *size : container.canvasSize();
    VTLObjectsContainerImageGenerator generator(outputSize, 1.0f, nullptr, GeneratorAlpha::With);
    Result<BitmapImage> rendered = generator.bitmapFromObjectsContainer(container, *time, false);
    if (!rendered) return failure("the picture cannot be made: " + rendered.error());
    std::shared_ptr<Bitmap> bitmap = bitmapOf(rendered.value());
    const std::vector<std::uint8_t> encoded = !bitmap ? std::vector<std::uint8_t>()
                                              : jpeg  ? bitmap->jpegData()
                                                      : bitmap->pngData();
    if (encoded.empty())
        return failure(jpeg ? "the picture cannot be encoded as JPEG."
                            : "the picture cannot be encoded as PNG.");

    std::FILE* file = std::fopen(out->c_str(), "wb");
    if (!file) return failure("cannot write " + *out + ": " + std::strerror(errno) + ".");
    const bool written = std::fwrite(encoded.data(), 1, encoded.size(), file) == encoded.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(out->c_str());
        return failure("cannot write " + *out + ": " + std::strerror(written ? errno : writeError) + ".");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Running out of memory on a large input is reported as any other failure is, never an abort.
    try {
        return runTool(argc, argv);
    } catch (const std::bad_alloc&) {
        return failure("there is not enough memory for this input.");
    }
}
