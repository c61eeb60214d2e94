#include "platform/graphics/Font.h"

#include "platform/graphics/QtBridge.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QRawFont>
#include <functional>

namespace vtl {

namespace {

struct StyleName {
    const char* name;
    int weight;
    bool italic;
};

const StyleName kStyles[] = {
    {"UltraLight", Font::UltraLight, false},
    {"Thin", Font::Thin, false},
    {"Light", Font::Light, false},
    {"Regular", Font::Regular, false},
    {"Medium", Font::Medium, false},
    {"Semibold", Font::Semibold, false},
    {"Bold", Font::Bold, false},
    {"Heavy", Font::Heavy, false},
    {"Black", Font::Black, false},
    {"Italic", Font::Regular, true},
    {"BoldItalic", Font::Bold, true},
    {"LightItalic", Font::Light, true},
    {"Oblique", Font::Regular, true},
    {"BoldOblique", Font::Bold, true},
};

std::string squash(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '-') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The database family whose name matches (ignoring spaces and case).
std::optional<QString> findFamily(std::string_view family) {
    std::string wanted = squash(family);
    if (wanted.empty()) return std::nullopt;
    const QStringList families = QFontDatabase::families();
    for (const QString& f : families)
        if (squash(f.toStdString()) == wanted) return f;
    return std::nullopt;
}

// Whether the family has a face of the weight (within one step) and slant.
bool hasFace(const QString& family, int weight, bool italic) {
    const QStringList styles = QFontDatabase::styles(family);
    for (const QString& style : styles) {
        int w = QFontDatabase::weight(family, style);
        bool it = QFontDatabase::italic(family, style);
        if (it == italic && std::abs(w - weight) <= 50) return true;
    }
    // Synthesised faces: the regular face can be emboldened or slanted.
    return weight == Font::Regular || weight == Font::Bold || italic;
}

} // namespace

std::optional<Font> Font::withName(std::string_view name, double pointSize) {
    if (name.empty()) return std::nullopt;
    if (auto family = findFamily(name)) return Font(family->toStdString(), pointSize);
    auto dash = name.rfind('-');
    if (dash == std::string_view::npos) return std::nullopt;
    std::string_view style = name.substr(dash + 1);
    auto family = findFamily(name.substr(0, dash));
    if (!family) return std::nullopt;
    for (const StyleName& s : kStyles) {
        if (squash(s.name) != squash(style)) continue;
        if (!hasFace(*family, s.weight, s.italic)) return std::nullopt;
        return Font(family->toStdString(), pointSize, s.weight, s.italic);
    }
    return std::nullopt;
}

Font Font::systemFont(double pointSize) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    QFontInfo info(f);
    return Font(info.family().toStdString(), pointSize);
}

Font Font::boldSystemFont(double pointSize) {
    return systemFont(pointSize).bold();
}

Font Font::systemFont(double pointSize, int weight) {
    Font base = systemFont(pointSize);
    return Font(base.family(), pointSize, weight, false);
}

bool Font::familyExists(std::string_view family) {
    return findFamily(family).has_value();
}

std::string Font::name() const {
    std::string base;
    for (char c : family_)
        if (c != ' ') base += c;
    if (weight_ == Regular && !italic_) return base;
    for (const StyleName& s : kStyles)
        if (s.weight == weight_ && s.italic == italic_) return base + "-" + s.name;
    return base;
}

double Font::ascender() const {
    return QFontMetricsF(qt::toQFont(*this)).ascent();
}
double Font::descender() const {
    return -QFontMetricsF(qt::toQFont(*this)).descent();
}
double Font::lineHeight() const {
    return QFontMetricsF(qt::toQFont(*this)).lineSpacing();
}

size_t Font::hash() const {
    size_t h = std::hash<std::string>{}(family_);
    auto combine = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    combine(std::hash<double>{}(pointSize_));
    combine(std::hash<int>{}(weight_));
    combine(std::hash<bool>{}(italic_));
    return h;
}

} // namespace vtl
