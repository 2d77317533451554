#pragma once
// The system font of a size and one of nine weights.

#include <optional>
#include <string>

#include <ui/Font.h>

namespace zid {

/// An index into the weights: 0 ultra-light, 1 thin, 2 light, 3 regular, 4 medium,
/// 5 semibold, 6 bold, 7 heavy, 8 black; above 8 regular.
using QXFontWeight = long;

rt::Ref<ui::Font> qx_systemFontOfSize(double size, QXFontWeight weight);
double UIFontWeightFromQXFontWeight(QXFontWeight weight);
/// The face suffix of the weight ("UltraLight", "Thin", "Light", "Medium", "Bold"), or
/// nothing for 3 and from 7 up.
std::optional<std::string> UIFontWeightPostfixFromQXFontWeight(QXFontWeight weight);

}  // namespace zid
