#include <ui/GeometryValues.h>
#include <ui/Layer.h>

namespace ui {

void Layer::describe(rt::ClassBuilder<Layer>& c) {
    c.property("borderWidth", &Layer::borderWidth, &Layer::setBorderWidth);
    c.property("borderColor", &Layer::borderColor, &Layer::setBorderColor);
    c.property("cornerRadius", &Layer::cornerRadius, &Layer::setCornerRadius);
    c.property("masksToBounds", &Layer::masksToBounds, &Layer::setMasksToBounds);
    c.property("shadowColor", &Layer::shadowColor, &Layer::setShadowColor);
    c.property("shadowOffset", &Layer::shadowOffset, &Layer::setShadowOffset);
    c.property("shadowOpacity", &Layer::shadowOpacity, &Layer::setShadowOpacity);
    c.property("shadowRadius", &Layer::shadowRadius, &Layer::setShadowRadius);
    c.property("shadowPath", &Layer::shadowPath, &Layer::setShadowPath);
    c.property("maskPath", &Layer::maskPath, &Layer::setMaskPath);
}

void Layer::setShadowOffset(Size v) { rt::kvoSet(this, "shadowOffset", shadowOffset_, v); }

}  // namespace ui
