#include <ui/Layer.h>

namespace ui {

void Layer::describe(rt::ClassBuilder<Layer>& c) {
    c.mainThreadOnly();
    c.property(borderWidthKey);
    c.property(borderColorKey);
    c.property(cornerRadiusKey);
    c.property(masksToBoundsKey);
    c.property(shadowColorKey);
    c.property(shadowOffsetKey);
    c.property(shadowOpacityKey);
    c.property(shadowRadiusKey);
    c.property(shadowPathKey);
    c.property(maskPathKey);
}

}  // namespace ui
