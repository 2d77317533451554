#pragma once
// Fonts of the toolkit. There is one family, DejaVu Sans, pinned by the fontconfig
// configuration the library ships: text metrics and pictures are the same on every
// machine. A font is a size and a weight; weights between the faces the family has
// resolve to the nearest face.

#include <string>

#include <rt/Object.h>

namespace ui {

/// Font weights on the platform's scale (-1 .. 1, regular 0).
namespace FontWeight {
inline constexpr double UltraLight = -0.8;
inline constexpr double Thin = -0.6;
inline constexpr double Light = -0.4;
inline constexpr double Regular = 0.0;
inline constexpr double Medium = 0.23;
inline constexpr double Semibold = 0.3;
inline constexpr double Bold = 0.4;
inline constexpr double Heavy = 0.56;
inline constexpr double Black = 0.62;
}  // namespace FontWeight

class Font : public rt::Object {
    RT_CLASS(Font, rt::Object)
public:
    Font(double pointSize, double weight);

    static rt::Ref<Font> systemFontOfSize(double pointSize, double weight = FontWeight::Regular);
    static rt::Ref<Font> boldSystemFontOfSize(double pointSize);
    /// The one family every font of the toolkit has.
    static const char* familyName() { return "DejaVu Sans"; }

    double pointSize() const { return size_; }
    double weight() const { return weight_; }
    rt::Ref<Font> withSize(double pointSize) const;

    /// Metrics of the resolved face at this size, in points.
    double ascender() const;
    double descender() const;  // negative, below the baseline
    double lineHeight() const;

    /// The CSS-like numeric weight (100 .. 900) the face is asked for.
    int numericWeight() const;

    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

private:
    double size_;
    double weight_;
};

}  // namespace ui
