#include "QXUIKit/TabView/QXTabBar.h"

#include <algorithm>
#include <cmath>

#include <QXFoundation/Listening/IListenable.h>
#include "Extensions/ViewAnimatedSubviews.h"
#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/Animation.h>

#include "TabSelection.h"
#include <ui/Button.h>
#include <ui/Screen.h>

namespace zid {

using tabs::validIndex;

namespace {
constexpr double kMarkerAnimation = 0.3;
}  // namespace

QXTabBar::QXTabBar(const ui::Rect& frame) : QXTabHost(frame) {}

QXTabBar::~QXTabBar() {
    // The scroll view may outlive the bar (an animation or a caller holding it).
    if (headerScrollView_) headerScrollView_->setDelegate(nullptr);
}

void QXTabBar::didInitialize() {
    QXTabHost::didInitialize();
    setup();
}

void QXTabBar::setup() {
    // Defaults go straight into the fields: no update is wanted for them.
    headerBackgroundColor_ = ui::Color::whiteColor();
    headerItemFont_ = ui::Font::systemFontOfSize(14);
    headerItemTextColor_ = ui::Color::blackColor();
    headerItemBackgroundColor_ = ui::Color::whiteColor();
    selectedHeaderItemBackgroundColor_ = ui::Color::lightGrayColor();
    selectedHeaderItemTextColor_ = ui::Color::grayColor();
    markerColor_ = ui::Color::blueColor();
    markerBackgroundColor_ = ui::Color::lightGrayColor();
    separatorSize_ = 1 / ui::Screen::mainScreen()->scale();
    separatorBackgroundColor_ = ui::Color::lightGrayColor();

    headerScrollView_ = rt::make<ui::ScrollView>(headerRect());
    headerScrollView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    headerScrollView_->setDelegate(this);
    addSubview(headerScrollView_);

    separatorView_ = rt::make<ui::View>(separatorRect());
    separatorView_->setBackgroundColor(separatorBackgroundColor_);
    separatorView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleTopMargin);
    addSubview(separatorView_);

    markerBackgroundView_ = rt::make<ui::View>(markerBackgroundRect());
    markerBackgroundView_->setBackgroundColor(markerBackgroundColor_);
    markerBackgroundView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth);
    addSubview(markerBackgroundView_);

    markerView_ = rt::make<ui::View>(markerRect());
    markerView_->setBackgroundColor(markerColor_);
    markerBackgroundView_->addSubview(markerView_);

    // A new frame lays the row out at once, not on the next turn.
    rt::observe(*this, ui::View::boundsKey, *this, [](QXTabBar& bar, ui::Rect old, ui::Rect now) {
        if (old.size != now.size) bar.layoutNow();
    });
}

// ---- geometry -------------------------------------------------------------------------------

ui::Rect QXTabBar::headerRect() const {
    RT_MAIN_THREAD_ONLY();
    ui::Rect b = bounds();
    const auto& in = headerInsets_;
    return ui::Rect(b.origin.x + in.left, b.origin.y + in.top, b.size.width - in.left - in.right,
                    b.size.height - markerSize_ - separatorSize_ - in.top - in.bottom);
}

ui::Rect QXTabBar::markerBackgroundRect() const {
    RT_MAIN_THREAD_ONLY();
    ui::Rect b = bounds();
    return ui::Rect(b.origin.x, b.origin.y + b.size.height - markerSize_, b.size.width, markerSize_);
}

ui::Rect QXTabBar::separatorRect() const {
    RT_MAIN_THREAD_ONLY();
    ui::Rect b = bounds();
    return ui::Rect(b.origin.x, b.origin.y + b.size.height - separatorSize_, b.size.width, separatorSize_);
}

ui::Size QXTabBar::headerContentSize() const {
    RT_MAIN_THREAD_ONLY();
    ui::Size s = headerScrollView_->bounds().size;
    ui::EdgeInsets in = headerScrollView_->contentInset();
    return ui::Size{s.width - in.left - in.right, s.height - in.top - in.bottom};
}

ui::Rect QXTabBar::markerRectForIndex(long index) const {
    RT_MAIN_THREAD_ONLY();
    if (!validIndex(index, headerViews_.size())) return ui::Rect();
    ui::Rect h = headerViews_[static_cast<std::size_t>(index)]->frame();
    double x = h.origin.x + headerScrollView_->frame().origin.x - headerScrollView_->contentOffset().x;
    return ui::Rect(x - headerItemGap_ / 2, 0, h.size.width + headerItemGap_, markerSize_);
}

ui::Rect QXTabBar::markerRect() const {
    RT_MAIN_THREAD_ONLY();
    if (!validIndex(selectedIndex_, headerViews_.size())) return ui::Rect();
    auto s = static_cast<std::size_t>(selectedIndex_);
    double o = static_cast<float>(markerOffset_);
    const ui::View* neighbour = nullptr;
    if (o > 0 && s + 1 < headerViews_.size()) {
        neighbour = headerViews_[s + 1].get();
    } else if (o < 0 && s > 0) {
        neighbour = headerViews_[s - 1].get();
        o = -o;
    }
    ui::Rect h = headerViews_[s]->frame();
    double x, w;
    if (neighbour) {
        ui::Rect n = neighbour->frame();
        x = (1 - o) * h.origin.x + o * n.origin.x;
        w = (1 - o) * h.size.width + o * n.size.width;
    } else {
        // Past either end the marker slides out by the fraction of its own width.
        x = h.origin.x + h.size.width * o;
        w = h.size.width;
    }
    x += headerScrollView_->frame().origin.x - headerScrollView_->contentOffset().x;
    return ui::Rect(x - headerItemGap_ / 2, 0, w + headerItemGap_, markerSize_);
}

// ---- items -----------------------------------------------------------------------------------

void QXTabBar::insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (!item) return;
    auto at = static_cast<std::size_t>(std::clamp<long>(index, 0, static_cast<long>(items_.size())));
    {
        rt::ChangeScope scope(*this, "itemCount");
        items_.insert(items_.begin() + static_cast<long>(at), item);
    }
    auto header = headerItemForQXTabItem(item);
    if (animated) {
        // The tab grows out of its left neighbour's right edge.
        double h = headerContentSize().height;
        if (at > 0) {
            ui::Rect left = headerViews_[at - 1]->frame();
            header->setFrame(ui::Rect(left.origin.x + left.size.width, left.origin.y, 0, h));
        } else {
            header->setFrame(ui::Rect(0, 0, 0, h));
        }
    }
    headerViews_.insert(headerViews_.begin() + static_cast<long>(at), header);
    headerScrollView_->insertSubviewAtIndex(header, static_cast<long>(at));
    if (selectedIndex_ == QXTabNotFound) setSelectedIndex(0);
    if (animated) setNeedsUpdate(true);
    else layoutHeaderViews();
}

void QXTabBar::removeItemAt(std::size_t i, bool animated) {
    {
        rt::ChangeScope scope(*this, "itemCount");
        items_.erase(items_.begin() + static_cast<long>(i));
    }
    auto header = headerViews_[i];
    headerViews_.erase(headerViews_.begin() + static_cast<long>(i));
    removeFromSuperviewWithAnimation(header, QXSubviewAnimationKind::Fade);

    long selected = tabs::selectionAfterRemoval(selectedIndex_, static_cast<long>(i), static_cast<long>(items_.size()));
    if (selected != selectedIndex_) setSelectedIndex(selected);
    setNeedsUpdate(animated);
}

void QXTabBar::clearSelection() { setSelectedIndex(QXTabNotFound); }

rt::Ref<ui::View> QXTabBar::headerItemForQXTabItem(const rt::Ref<QXTabItem>& item) {
    auto button = ui::Button::buttonWithType(ui::ButtonType::System);
    button->setTitle(item->title(), ui::ControlState::Normal);
    bool selected = item == selectedItem();
    button->setTitleColor(selected ? selectedHeaderItemTextColor_ : headerItemTextColor_, ui::ControlState::Normal);
    button->setBackgroundColor(selected ? selectedHeaderItemBackgroundColor_ : headerItemBackgroundColor_);
    button->titleLabel()->setFont(headerItemFont_);
    rt::Weak<QXTabBar> weak = selfAs<QXTabBar>();
    button->addTarget(selfAs<rt::Object>(), "didSelectItem:", ui::ControlEvents::TouchUpInside,
                      [weak](const rt::Ref<ui::Control>& sender) {
                          if (auto bar = weak.lock()) bar->didSelectItem(sender.get());
                      });
    ui::Rect header = headerRect();
    button->setFrame(header);
    button->sizeToFit();
    ui::Rect f = button->frame();
    button->setFrame(ui::Rect(f.origin.x, f.origin.y, f.size.width + 8, header.size.height));
    return button;
}

// ---- layout ---------------------------------------------------------------------------------

void QXTabBar::layoutHeaderViews() {
    RT_MAIN_THREAD_ONLY();
    ui::Size content = headerContentSize();
    double fitted = 0;
    std::vector<double> widths;
    widths.reserve(headerViews_.size());
    for (auto& v : headerViews_) {
        v->sizeToFit();
        widths.push_back(v->frame().size.width);
        fitted += widths.back();
    }
    double count = static_cast<double>(headerViews_.size());
    double gaps = headerItemGap_ * std::max(0.0, count - 1);
    double x0 = 0;
    unsigned alignment = headerItemAlignment_;
    // Proportional fill has nothing to go by when every tab fits to nothing: share equally.
    if (alignment == QXTabBarAlignment::FillProportional && fitted <= 0) alignment = QXTabBarAlignment::FillEqual;
    if (fitted + gaps < content.width) {
        switch (alignment) {
        case QXTabBarAlignment::Center: x0 = (content.width - fitted - gaps) * 0.5; break;
        case QXTabBarAlignment::Right: x0 = content.width - fitted - gaps; break;
        case QXTabBarAlignment::FillProportional: {
            double remaining = content.width - gaps;
            double unassigned = fitted;
            for (auto& w : widths) {
                if (w <= 0) continue;  // a tab without content keeps no width
                double ratio = remaining / unassigned;
                unassigned -= w;
                w = std::floor(static_cast<float>(ratio * w));
                remaining -= w;
            }
            break;
        }
        case QXTabBarAlignment::FillEqual:
            for (auto& w : widths) w = std::floor((content.width - gaps) / count);
            break;
        default: break;
        }
    }
    double x = x0;
    for (std::size_t i = 0; i < headerViews_.size(); ++i) {
        auto& v = headerViews_[i];
        v->setFrame(ui::Rect(x, v->frame().origin.y, widths[i], content.height));
        x += widths[i] + headerItemGap_;
    }
    headerScrollView_->setContentSize(ui::Size{std::max(0.0, x - headerItemGap_), content.height});
}

void QXTabBar::scrollSelectedIntoView(bool animated) {
    if (!validIndex(selectedIndex_, headerViews_.size())) return;
    headerScrollView_->scrollRectToVisible(headerViews_[static_cast<std::size_t>(selectedIndex_)]->frame(), animated);
}

void QXTabBar::layoutNow() {
    headerScrollView_->setFrame(headerRect());
    markerBackgroundView_->setFrame(markerBackgroundRect());
    layoutHeaderViews();
    scrollSelectedIntoView(false);
    markerView_->setFrame(markerRect());
}

void QXTabBar::applyUpdate(bool animated) {
    ui::animate(animated ? kMarkerAnimation : 0, [&] {
        headerScrollView_->setFrame(headerRect());
        markerBackgroundView_->setFrame(markerBackgroundRect());
        layoutHeaderViews();
        scrollSelectedIntoView(false);
        markerView_->setFrame(markerRect());
        separatorView_->setFrame(separatorRect());
    });
}

// ---- selection --------------------------------------------------------------------------------

void QXTabBar::setSelectedIndex(long index) {
    RT_MAIN_THREAD_ONLY();
    selectedIndexKey.set(*this, index);
    updateHeaderItemsColors();
    if (index != QXTabNotFound) setNeedsUpdate(false);
}

void QXTabBar::setSelectedIndex(long index, bool animated) {
    RT_MAIN_THREAD_ONLY();
    // No tab to move to (an item that is not in the bar): nothing changes.
    if (!validIndex(index, headerViews_.size())) return;
    setSelectedIndex(index);
    ui::animate(animated ? kMarkerAnimation : 0, [&] { markerView_->setFrame(markerRect()); });
    scrollSelectedIntoView(animated);
}

void QXTabBar::didSelectItem(const ui::View* sender) {
    auto it = std::find_if(headerViews_.begin(), headerViews_.end(), [&](const auto& v) { return v.get() == sender; });
    if (it == headerViews_.end()) return;
    auto index = static_cast<long>(it - headerViews_.begin());
    auto keep = selfAs<QXTabBar>();
    jumpToIndex(index, selectedIndex_);
    notifyListeners<QXTabBarListener>(*this, [&](QXTabBarListener& l) { l.tabBarDidSelectItemAtIndex(*this, index); });
}

void QXTabBar::jumpToIndex(long to, long from) {
    if (to == from) return;
    rt::Weak<QXTabBar> weak = selfAs<QXTabBar>();
    ui::animate(kMarkerAnimation, [&] { markerView_->setFrame(markerRectForIndex(to)); },
                [weak, to](bool) {
                    auto bar = weak.lock();
                    if (bar && validIndex(to, bar->items_.size())) bar->setSelectedIndex(to);
                });
}

void QXTabBar::updateHeaderItemsColors() {
    for (std::size_t i = 0; i < headerViews_.size(); ++i) {
        auto button = std::dynamic_pointer_cast<ui::Button>(headerViews_[i]);
        if (!button) continue;
        bool selected = static_cast<long>(i) == selectedIndex_;
        button->setTitleColor(selected ? selectedHeaderItemTextColor_ : headerItemTextColor_, ui::ControlState::Normal);
        button->setBackgroundColor(selected ? selectedHeaderItemBackgroundColor_ : headerItemBackgroundColor_);
    }
}

void QXTabBar::updateHeaderItemsFonts() {
    for (auto& v : headerViews_) {
        if (auto button = std::dynamic_pointer_cast<ui::Button>(v)) button->titleLabel()->setFont(headerItemFont_);
    }
}

// ---- appearance ---------------------------------------------------------------------------------

void QXTabBar::appearanceDidChange(QXTabLook what, bool changed) {
    // Colours of the bar's own parts are applied on every write, the rest only when they changed.
    switch (what) {
    case QXTabLook::HeaderBackgroundColor: setBackgroundColor(headerBackgroundColor_); return;
    case QXTabLook::MarkerColor: markerView_->setBackgroundColor(markerColor_); return;
    case QXTabLook::MarkerBackgroundColor: markerBackgroundView_->setBackgroundColor(markerBackgroundColor_); return;
    case QXTabLook::SeparatorBackgroundColor: separatorView_->setBackgroundColor(separatorBackgroundColor_); return;
    default: break;
    }
    if (!changed) return;
    switch (what) {
    case QXTabLook::TabColors: updateHeaderItemsColors(); return;
    case QXTabLook::Font: updateHeaderItemsFonts(); break;
    case QXTabLook::SeparatorSize: separatorView_->setHidden(separatorSize_ == 0); break;
    default: break;
    }
    setNeedsUpdate(false);
}

void QXTabBar::setMarkerOffset(double offset) {
    RT_MAIN_THREAD_ONLY();
    if (markerOffsetKey.set(*this, offset)) setNeedsUpdate(false);
}

// ---- scrolling --------------------------------------------------------------------------------

void QXTabBar::scrollViewDidScroll(ui::ScrollView&) { RT_MAIN_THREAD_ONLY(); markerView_->setFrame(markerRect()); }

void QXTabBar::scrollViewDidEndScrollingAnimation(ui::ScrollView&) {
    RT_MAIN_THREAD_ONLY();
    markerView_->setFrame(markerRect());
}

}  // namespace zid
