#include "QXUIKit/ActionSheet/QXActionSheet.h"

namespace zid {

void QXActionSheet::didInitialize() {
    ui::ActionSheet::didInitialize();
    ui::ActionSheet::setDelegate(selfAs<QXActionSheet>());
}

long QXActionSheet::addButtonWithTitle(const std::string& title, Action action) {
    long index = ui::ActionSheet::addButtonWithTitle(title);
    if (static_cast<long>(actionBlocks_.size()) <= index) actionBlocks_.resize(static_cast<std::size_t>(index) + 1);
    actionBlocks_[static_cast<std::size_t>(index)] = std::move(action);
    return index;
}

long QXActionSheet::addCancelButtonWithTitle(const std::string& title, Action action) {
    long index = addButtonWithTitle(title, std::move(action));
    setCancelButtonIndex(index);
    return index;
}

long QXActionSheet::addDestructiveButtonWithTitle(const std::string& title, Action action) {
    long index = addButtonWithTitle(title, std::move(action));
    setDestructiveButtonIndex(index);
    return index;
}

void QXActionSheet::setDelegate(const std::shared_ptr<ui::ActionSheetDelegate>& d) {
    if (d.get() == static_cast<ui::ActionSheetDelegate*>(this)) realDelegate_.reset();
    else realDelegate_ = d;
    ui::ActionSheet::setDelegate(nullptr);
    ui::ActionSheet::setDelegate(selfAs<QXActionSheet>());
}

void QXActionSheet::showFromView(const rt::Ref<ui::View>& view, bool animated) {
    if (!view) return;
    showFromRect(ui::rectInset(view->bounds(), -kAnchorOutset, -kAnchorOutset), view, animated);
}

void QXActionSheet::actionSheetClickedButtonAtIndex(ui::ActionSheet& sheet, long buttonIndex) {
    if (buttonIndex == -1) return;  // dismissed without a choice
    if (buttonIndex >= 0 && buttonIndex < static_cast<long>(actionBlocks_.size())) {
        Action action = actionBlocks_[static_cast<std::size_t>(buttonIndex)];
        if (action) action();
    }
    if (auto d = realDelegate()) d->actionSheetClickedButtonAtIndex(sheet, buttonIndex);
}

void QXActionSheet::willPresentActionSheet(ui::ActionSheet& sheet) {
    if (auto d = realDelegate()) d->willPresentActionSheet(sheet);
}

void QXActionSheet::didPresentActionSheet(ui::ActionSheet& sheet) {
    if (auto d = realDelegate()) d->didPresentActionSheet(sheet);
}

void QXActionSheet::actionSheetWillDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) {
    if (auto d = realDelegate()) d->actionSheetWillDismissWithButtonIndex(sheet, buttonIndex);
}

void QXActionSheet::actionSheetDidDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) {
    if (auto d = realDelegate()) d->actionSheetDidDismissWithButtonIndex(sheet, buttonIndex);
}

}  // namespace zid
