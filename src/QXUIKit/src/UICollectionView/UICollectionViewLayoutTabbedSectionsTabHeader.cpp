#include "QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSectionsTabHeader.h"

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Threading/Dispatcher.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <rt/KVC.h>
#include <ui/Color.h>

#include "QXUIKit/TabView/QXTabItem.h"

namespace zid {

namespace {

/// Runs the block for each value of the view's keypath until the view goes.
void react(UICollectionViewLayoutTabbedSectionsTabHeader& view, const std::string& keypath, std::function<void()> block) {
    auto trigger = OnSignalHelper::triggerWithSignal(signalForKeypath(view, keypath), deallocSignal(view));
    trigger->setBlock([block = std::move(block)](const rt::Value&) { block(); });
}

}  // namespace

UICollectionViewLayoutTabbedSectionsTabHeader::UICollectionViewLayoutTabbedSectionsTabHeader(const ui::Rect& frame)
    : CollectionReusableView(frame) {}

void UICollectionViewLayoutTabbedSectionsTabHeader::describe(rt::ClassBuilder<UICollectionViewLayoutTabbedSectionsTabHeader>& c) {
    using H = UICollectionViewLayoutTabbedSectionsTabHeader;
    c.readonly("tabBar", [](const H& h) { return rt::Value(h.tabBar_); });
    c.readonly("layout", [](const H& h) { return h.layout_ ? rt::Value(h.layout_) : rt::Value(); });
}

void UICollectionViewLayoutTabbedSectionsTabHeader::didInitialize() {
    CollectionReusableView::didInitialize();
    tabBar_ = rt::make<QXTabBar>(bounds());
    tabBar_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addListener(*tabBar_, self());
    addSubview(tabBar_);
    setBackgroundColor(ui::Color::grayColor());

    rt::Weak<UICollectionViewLayoutTabbedSectionsTabHeader> weak = selfAs<UICollectionViewLayoutTabbedSectionsTabHeader>();
    react(*this, "layout.tabTitles", [weak] {
        if (auto self = weak.lock()) self->applyTitles();
    });
    react(*this, "layout.selectedSection", [weak] {
        auto self = weak.lock();
        if (self && self->layout_) self->applySelectedSection(true);
    });
    bindingWithKeypath(*this, "tabBar.markerOffset")->setSignal(signalForKeypath(*this, "layout.tabMarkerOffset")->toFloat());
}

void UICollectionViewLayoutTabbedSectionsTabHeader::applyTitles() {
    if (!layout_) return;
    QXTabBar::Items items;
    for (auto& title : layout_->tabTitles()) items.push_back(QXTabItem::itemWithView(nullptr, title));
    tabBar_->setItems(items, false);
    tabBar_->setHeaderItemAlignment(items.size() == 1 ? QXTabBarAlignment::Left : QXTabBarAlignment::FillEqual);
}

void UICollectionViewLayoutTabbedSectionsTabHeader::setLayout(const rt::Ref<UICollectionViewLayoutTabbedSections>& layout) {
    if (layout == layout_) return;
    rt::ChangeScope scope(*this, "layout");
    layout_ = layout;
}

void UICollectionViewLayoutTabbedSectionsTabHeader::applyLayoutAttributes(
    const rt::Ref<ui::CollectionViewLayoutAttributes>& attributes) {
    RT_MAIN_THREAD_ONLY();
    CollectionReusableView::applyLayoutAttributes(attributes);
    applySelectedSection(false);
    auto header = std::dynamic_pointer_cast<UICollectionViewLayoutTabbedSectionsTabHeaderLayoutAttributes>(attributes);
    setLayout(header ? header->layout.lock() : nullptr);
}

void UICollectionViewLayoutTabbedSectionsTabHeader::tabBarDidSelectItemAtIndex(QXTabBar&, long index) {
    RT_MAIN_THREAD_ONLY();
    if (layout_) layout_->showSection(index + 1, true);
}

void UICollectionViewLayoutTabbedSectionsTabHeader::applySelectedSection(bool animated) {
    RT_MAIN_THREAD_ONLY();
    rt::Weak<UICollectionViewLayoutTabbedSectionsTabHeader> weak = selfAs<UICollectionViewLayoutTabbedSectionsTabHeader>();
    rt::make<Dispatcher>(fnd::Queue::main(), false)->setBlock([weak, animated] {
        auto self = weak.lock();
        if (!self || !self->layout_ || self->layout_->selectedSection() == 0) return;
        self->tabBar_->setSelectedIndex(self->layout_->selectedSection() - 1, animated);
    });
}

}  // namespace zid
