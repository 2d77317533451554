#include "CPMediaStatusView.h"

#include <algorithm>
#include <cmath>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXUIKit/Extensions/FontSystemFont.h>
#include <dev/Device.h>
#include <ui/Color.h>

namespace zid {

namespace {
constexpr QXFontWeight kBold = 6;
}

double CPMediaStatusView::fontSizeForWidth(double width) {
    // Handheld designs are read at arm's length at one size; elsewhere the text grows
    // with the player from 12 points at 320 wide to 40 at 1024.
    if (dev::Device::current()->userInterfaceIdiom().has_value()) return 12;
    double size = 12 + (width - 320) / 704 * 28;
    size = std::max(std::min(size, 40.0), 8.0);
    return std::floor(size);
}

void CPMediaStatusView::setMessage(const std::string& message) {
    if (auto label = mainLabel()) label->setText(message);
}

void CPMediaStatusView::layoutSubviews() {
    QXEventTransparentView::layoutSubviews();
    if (auto label = mainLabel()) label->setFont(qx_systemFontOfSize(fontSizeForWidth(bounds().size.width), kBold));
}

void CPMediaStatusView::setupRoot(ui::Size designSize, bool clearBackground) {
    setAutoresizesSubviews(true);
    setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    setBackgroundColor(clearBackground ? ui::Color::clearColor() : ui::Color::blackColor());
    setClipsToBounds(true);
    setContentMode(ui::ContentMode::Center);
    setOpaque(false);
    setUserInteractionEnabled(true);
    setFrame(ui::Rect(0, 0, designSize.width, designSize.height));
}

rt::Ref<QXEventTransparentView> CPMediaStatusView::makeContainer(const ui::Rect& frame) {
    auto container = rt::make<QXEventTransparentView>(frame);
    container->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleTopMargin |
                                   ui::Autoresizing::FlexibleBottomMargin);
    container->setBackgroundColor(ui::Color::white(0, 0));
    container->setContentMode(ui::ContentMode::Center);
    container->setClipsToBounds(false);
    container->setOpaque(true);
    container->setUserInteractionEnabled(true);
    return container;
}

rt::Ref<ui::Label> CPMediaStatusView::makeLabel(const ui::Rect& frame, int lines) {
    auto label = rt::make<ui::Label>(frame);
    label->setAdjustsFontSizeToFitWidth(false);
    label->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleBottomMargin);
    label->setClipsToBounds(true);
    label->setContentMode(ui::ContentMode::Left);
    label->setEnabled(true);
    label->setHighlightedTextColor(ui::Color::whiteColor());
    label->setLineBreakMode(ui::LineBreakMode::TruncatingTail);
    label->setNumberOfLines(lines);
    label->setOpaque(false);
    label->setTextAlignment(ui::TextAlignment::Center);
    label->setTextColor(ui::Color::white(1, 1));
    label->setUserInteractionEnabled(false);
    label->setFont(qx_systemFontOfSize(12, kBold));
    return label;
}

rt::Ref<ui::ImageView> CPMediaStatusView::makeIcon(const std::string& fileName, ui::ContentMode mode) {
    auto icon = rt::make<ui::ImageView>(ui::Rect(152, 0, 96, 96));
    icon->setAutoresizingMask(ui::Autoresizing::FlexibleLeftMargin | ui::Autoresizing::FlexibleRightMargin |
                              ui::Autoresizing::FlexibleBottomMargin);
    icon->setBackgroundColor(ui::Color::clearColor());
    icon->setClipsToBounds(false);
    icon->setHighlighted(false);
    icon->setOpaque(true);
    icon->setUserInteractionEnabled(false);
    icon->setContentMode(mode);
    icon->setImage(qxCorePlayerImageNamed(fileName));
    return icon;
}

rt::Ref<QXEventTransparentView> CPMediaStatusView::buildDesign(const ui::Rect& containerFrame,
                                                               std::initializer_list<rt::Ref<ui::View>> contents,
                                                               bool clearBackground) {
    setupRoot(containerFrame.size, clearBackground);
    auto container = makeContainer(containerFrame);
    for (const auto& view : contents) container->addSubview(view);
    addSubview(container);
    return container;
}

rt::Ref<QXEventTransparentView> CPMediaStatusView::buildMessageDesign() {
    setMainLabel(makeLabel(ui::Rect(20, 23, 361, 45)));
    return buildDesign(ui::Rect(0, 0, 401, 91), {mainLabel()});
}

}  // namespace zid
