#include "QXUIKit/Extensions/FontSystemFont.h"

namespace zid {

double UIFontWeightFromQXFontWeight(QXFontWeight weight) {
    switch (weight) {
    case 0: return ui::FontWeight::UltraLight;
    case 1: return ui::FontWeight::Thin;
    case 2: return ui::FontWeight::Light;
    case 3: return ui::FontWeight::Regular;
    case 4: return ui::FontWeight::Medium;
    case 5: return ui::FontWeight::Semibold;
    case 6: return ui::FontWeight::Bold;
    case 7: return ui::FontWeight::Heavy;
    case 8: return ui::FontWeight::Black;
    default: return ui::FontWeight::Regular;
    }
}

std::optional<std::string> UIFontWeightPostfixFromQXFontWeight(QXFontWeight weight) {
    switch (weight) {
    case 0: return "UltraLight";
    case 1: return "Thin";
    case 2: return "Light";
    case 4: return "Medium";
    case 5:
    case 6: return "Bold";
    default: return std::nullopt;
    }
}

// The toolkit always has weighted system fonts, so the named-face fallback of older
// systems is never taken here.
rt::Ref<ui::Font> qx_systemFontOfSize(double size, QXFontWeight weight) {
    return ui::Font::systemFontOfSize(size, UIFontWeightFromQXFontWeight(weight));
}

}  // namespace zid
