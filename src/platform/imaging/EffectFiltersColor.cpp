// Colour effects: each pixel changes by its own colour (and, for the vignettes, its place).

#include "platform/imaging/EffectFilter.h"
#include "platform/imaging/EffectKernelNodes.h"
#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/FilterAttributeBuilders.h"
#include "platform/imaging/PixelKernels.h"

#include <array>
#include <cmath>
#include <numbers>

namespace vtl::detail {

namespace {

constexpr double pi = std::numbers::pi;
const std::string colorAdjustment = "CICategoryColorAdjustment";
const std::string colorEffect = "CICategoryColorEffect";

// Red, green and blue through the matrix's colour part and bias; alpha kept. Opaque pixels (most
// of any frame) take a 16.16 fixed-point path, the others the exact float one.
CIImage withMatrix(const CIImage& input, const ColorMatrix& m) {
    std::array<std::int64_t, 12> fixed{};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j)
            fixed[i * 4 + j] = std::llround(double(m.rows[i][j]) * 65536);
        fixed[i * 4 + 3] = std::llround(double(m.bias[i]) * 255 * 65536) + 32768;
    }
    return EffectFilter::imageOf(
        input,
        makePositionKernel(input.node(), [m, fixed](int, int, const std::uint8_t* s, std::uint8_t* d, int n) {
            for (int i = 0; i < n; ++i, s += 4, d += 4) {
                if (s[3] == 255) {
                    for (std::size_t c = 0; c < 3; ++c) {
                        const std::int64_t* row = fixed.data() + c * 4;
                        std::int64_t v = (row[0] * s[2] + row[1] * s[1] + row[2] * s[0] + row[3]) >> 16;
                        d[2 - c] = std::uint8_t(std::clamp<std::int64_t>(v, 0, 255));
                    }
                    d[3] = 255;
                } else if (s[3] == 0) {
                    std::memset(d, 0, 4);
                } else {
                    UnitColor c = unitColorOf(s);
                    auto row = [&](std::size_t k) {
                        return m.rows[k][0] * c.r + m.rows[k][1] * c.g + m.rows[k][2] * c.b + m.bias[k];
                    };
                    storeUnitColor(d, {row(0), row(1), row(2), c.a});
                }
            }
        }));
}

ColorMatrix identityMatrix() {
    ColorMatrix m;
    for (int i = 0; i < 4; ++i)
        m.rows[std::size_t(i)][std::size_t(i)] = 1;
    return m;
}

// The same curve on red, green and blue; alpha kept. Opaque pixels go through a table of the exact
// values, the others through the curve itself.
template <class Curve> ImageNodeRef makeCurveKernel(ImageNodeRef input, Curve curve) {
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v)
        table[std::size_t(v)] = std::uint8_t(std::lround(clampUnit(curve(v / 255.0f)) * 255));
    return makePositionKernel(std::move(input),
                              [table, curve](int, int, const std::uint8_t* s, std::uint8_t* d, int n) {
                                  for (int i = 0; i < n; ++i, s += 4, d += 4) {
                                      if (s[3] == 255) {
                                          d[0] = table[s[0]];
                                          d[1] = table[s[1]];
                                          d[2] = table[s[2]];
                                          d[3] = 255;
                                      } else if (s[3] == 0) {
                                          std::memset(d, 0, 4);
                                      } else {
                                          UnitColor c = unitColorOf(s);
                                          storeUnitColor(d, {curve(c.r), curve(c.g), curve(c.b), c.a});
                                      }
                                  }
                              });
}

// Premultiplied colour times a factor that depends on the place; alpha kept.
template <class Factor> ImageNodeRef makeShadingKernel(ImageNodeRef input, Factor factor) {
    return makePositionKernel(std::move(input),
                              [factor](int x0, int y, const std::uint8_t* s, std::uint8_t* d, int n) {
                                  for (int i = 0; i < n; ++i, s += 4, d += 4) {
                                      if (s[3] == 0) {
                                          std::memset(d, 0, 4);
                                          continue;
                                      }
                                      float f = factor(x0 + i + 0.5, y + 0.5);
                                      for (int c = 0; c < 3; ++c)
                                          d[c] = std::uint8_t(std::min(float(s[3]), s[c] * f + 0.5f));
                                      d[3] = s[3];
                                  }
                              });
}

CIImage gammaAdjust(const EffectFilter& f, const CIImage& input) {
    const float power = float(f.ranged("inputPower"));
    if (power == 1) return input;
    return EffectFilter::imageOf(input, makeCurveKernel(input.node(), [power](float v) {
                                     return std::pow(std::max(v, 0.0f), power);
                                 }));
}

CIImage exposureAdjust(const EffectFilter& f, const CIImage& input) {
    const double ev = f.ranged("inputEV");
    if (ev == 0) return input;
    ColorMatrix m = identityMatrix();
    for (int i = 0; i < 3; ++i)
        m.rows[std::size_t(i)][std::size_t(i)] = float(std::exp2(ev));
    return withMatrix(input, m);
}

CIImage colorPosterize(const EffectFilter& f, const CIImage& input) {
    const float steps = float(std::floor(f.ranged("inputLevels"))) - 1;
    return EffectFilter::imageOf(input, makeCurveKernel(input.node(), [steps](float v) {
                                     return std::floor(v * steps + 0.5f) / steps;
                                 }));
}

CIImage colorInvert(const EffectFilter&, const CIImage& input) {
    ColorMatrix m = identityMatrix();
    for (std::size_t i = 0; i < 3; ++i) {
        m.rows[i][i] = -1;
        m.bias[i] = 1;
    }
    return withMatrix(input, m);
}

CIImage sepiaTone(const EffectFilter& f, const CIImage& input) {
    const float t = float(f.ranged("inputIntensity"));
    if (t == 0) return input;
    const float sepia[3][3] = {{0.393f, 0.769f, 0.189f}, {0.349f, 0.686f, 0.168f}, {0.272f, 0.534f, 0.131f}};
    ColorMatrix m = identityMatrix();
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            m.rows[i][j] = (i == j ? 1 - t : 0) + t * sepia[i][j];
    return withMatrix(input, m);
}

// A turn of every colour about the grey axis: greys stay, hues move by the angle.
CIImage hueAdjust(const EffectFilter& f, const CIImage& input) {
    const double angle = f.ranged("inputAngle");
    if (angle == 0) return input;
    const double c = std::cos(angle), s = std::sin(angle), k = (1 - c) / 3, r = std::sqrt(1.0 / 3) * s;
    ColorMatrix m = identityMatrix();
    const double rows[3][3] = {{c + k, k - r, k + r}, {k + r, c + k, k - r}, {k - r, k + r, c + k}};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            m.rows[i][j] = float(rows[i][j]);
    return withMatrix(input, m);
}

// White, as opaque as the input is bright.
CIImage maskToAlpha(const EffectFilter&, const CIImage& input) {
    return EffectFilter::imageOf(
        input, makePositionKernel(input.node(), [](int, int, const std::uint8_t* s, std::uint8_t* d, int n) {
            for (int i = 0; i < n; ++i, s += 4, d += 4) {
                auto a = std::uint8_t((byteLuminance256(s) + 128) >> 8);
                d[0] = d[1] = d[2] = d[3] = a;
            }
        }));
}

// Darkens (or, for a negative intensity, lightens) towards the corners of the image's extent.
CIImage vignette(const EffectFilter& f, const CIImage& input) {
    const float intensity = float(f.ranged("inputIntensity"));
    const double radius = f.ranged("inputRadius");
    const Rect e = input.extent();
    if (intensity == 0 || radius == 0 || isUnbounded(e)) return input;
    const double cx = e.midX(), cy = e.midY(), reach = std::hypot(e.width(), e.height()) / 2 / radius;
    return EffectFilter::imageOf(input, makeShadingKernel(input.node(), [=](double x, double y) {
                                     double t = std::min(
                                         std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) / reach, 1.0);
                                     return 1 - intensity * float(t * t);
                                 }));
}

// Darkens outside a circle around the centre, with a soft edge as wide as the falloff asks.
CIImage vignetteEffect(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const double radius = f.ranged("inputRadius"), falloff = f.ranged("inputFalloff");
    const float intensity = float(f.ranged("inputIntensity"));
    if (intensity == 0) return input;
    const double inner = radius * (1 - falloff), outer = radius * (1 + falloff);
    return EffectFilter::imageOf(
        input, makeShadingKernel(input.node(), [=](double x, double y) {
            return 1 -
                   intensity * float(smoothStep(inner, outer,
                                                std::sqrt((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y))));
        }));
}

} // namespace

void registerColorEffects() {
    const FilterAttribute image = effectImageInput();
    registerEffect("CIGammaAdjust", "Gamma Adjust", colorAdjustment,
                   {image, numberInput("inputPower", "Power", 1, 0.25, 4, 0.25, 4)}, gammaAdjust);
    registerEffect("CIExposureAdjust", "Exposure Adjust", colorAdjustment,
                   {image, numberInput("inputEV", "EV", 0, -10, 10, -10, 10)}, exposureAdjust);
    registerEffect("CIHueAdjust", "Hue Adjust", colorAdjustment, {image, angleInput(0, -pi, pi)}, hueAdjust);
    registerEffect("CIColorPosterize", "Color Posterize", colorEffect,
                   {image, numberInput("inputLevels", "Levels", 6, 2, 30, 2, 30)}, colorPosterize);
    registerEffect("CIColorInvert", "Color Invert", colorEffect, {image}, colorInvert);
    registerEffect("CISepiaTone", "Sepia Tone", colorEffect,
                   {image, numberInput("inputIntensity", "Intensity", 1, 0, 1, 0, 1)}, sepiaTone);
    registerEffect("CIMaskToAlpha", "Mask to Alpha", colorEffect, {image}, maskToAlpha);
    registerEffect("CIVignette", "Vignette", colorEffect,
                   {image, numberInput("inputIntensity", "Intensity", 0, -1, 1, -1, 1),
                    numberInput("inputRadius", "Radius", 1, 0, 2, 0, 2)},
                   vignette);
    registerEffect(
        "CIVignetteEffect", "Vignette Effect", colorEffect,
        {image, centerInput(),
         numberInput("inputRadius", "Radius", 150, 0, 2000, 0, 2000, FilterAttributeType::Distance),
         numberInput("inputIntensity", "Intensity", 1, -1, 1, -1, 1),
         numberInput("inputFalloff", "Falloff", 0.5, 0, 1, 0, 1)},
        vignetteEffect);
}

} // namespace vtl::detail
