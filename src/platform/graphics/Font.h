#pragma once
// A font: a family with a weight and slant, at a point size. Found by name through the system's
// font database. Names are "Family" for the regular face and "Family-Style" for the others
// ("DejaVuSans-Bold" style names are matched with and without spaces). Plain value.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vtl {

class Font {
public:
    // Weights on the usual 100..900 scale.
    enum Weight {
        UltraLight = 100,
        Thin = 200,
        Light = 300,
        Regular = 400,
        Medium = 500,
        Semibold = 600,
        Bold = 700,
        Heavy = 800,
        Black = 900
    };

    Font() = default;
    Font(std::string family, double pointSize, int weight = Regular, bool italic = false)
        : family_(std::move(family))
        , pointSize_(pointSize)
        , weight_(weight)
        , italic_(italic) {}

    // The installed font of that name at the size; nullopt when the system has no such font.
    static std::optional<Font> withName(std::string_view name, double pointSize);
    // The system's user-interface font at the size (bold: its bold face).
    static Font systemFont(double pointSize);
    static Font boldSystemFont(double pointSize);
    // The system font at the size in the weight, when the system's family has faces of weights.
    static Font systemFont(double pointSize, int weight);
    // Whether the font database lists a family of that name.
    static bool familyExists(std::string_view family);

    const std::string& family() const { return family_; }
    double pointSize() const { return pointSize_; }
    int weight() const { return weight_; }
    bool isItalic() const { return italic_; }
    bool isBold() const { return weight_ >= Semibold; }
    // "Family" or "Family-Style" (Bold, Italic, BoldItalic, Light, ...): what withName takes back.
    std::string name() const;

    Font withSize(double pointSize) const { return Font(family_, pointSize, weight_, italic_); }
    Font bold() const { return Font(family_, pointSize_, Bold, italic_); }
    Font italic() const { return Font(family_, pointSize_, weight_, true); }

    // Metrics of the face at its size, in points.
    double ascender() const;
    double descender() const; // negative below the baseline
    double lineHeight() const;

    size_t hash() const;
    friend bool operator==(const Font&, const Font&) = default;

private:
    std::string family_;
    double pointSize_ = 12;
    int weight_ = Regular;
    bool italic_ = false;
};

} // namespace vtl
