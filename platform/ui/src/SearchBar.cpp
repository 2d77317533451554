#include <rt/MainThread.h>
#include <ui/SearchBar.h>

#include <algorithm>

namespace ui {

// ---- search bar --------------------------------------------------------------------------------------

struct SearchBar::FieldRelay : TextFieldDelegate {
    SearchBar* bar = nullptr;
    bool textFieldShouldBeginEditing(TextField&) override {
        return !bar->delegate_ || bar->delegate_->searchBarShouldBeginEditing(*bar);
    }
    void textFieldDidBeginEditing(TextField&) override {
        if (bar->delegate_) bar->delegate_->searchBarTextDidBeginEditing(*bar);
    }
    bool textFieldShouldEndEditing(TextField&) override {
        return !bar->delegate_ || bar->delegate_->searchBarShouldEndEditing(*bar);
    }
    void textFieldDidEndEditing(TextField&) override {
        if (bar->delegate_) bar->delegate_->searchBarTextDidEndEditing(*bar);
    }
    bool textFieldShouldReturn(TextField&) override {
        if (bar->delegate_) bar->delegate_->searchBarSearchButtonClicked(*bar);
        return true;
    }
};

SearchBar::SearchBar(const Rect& frame) : View(frame) {}

void SearchBar::didInitialize() {
    RT_MAIN_THREAD_ONLY();
    View::didInitialize();
    field_ = rt::make<TextField>();
    field_->setBorderStyle(TextBorderStyle::RoundedRect);
    relay_ = std::make_unique<FieldRelay>();
    relay_->bar = this;
    field_->setDelegate(relay_.get());
    rt::Weak<SearchBar> weak = selfAs<SearchBar>();
    field_->addTarget(nullptr, "changed", ControlEvents::EditingChanged, [weak](const rt::Ref<Control>&) {
        auto bar = weak.lock();
        if (bar && bar->delegate_) bar->delegate_->searchBarTextDidChange(*bar, bar->text());
    });
    addSubview(field_);
    setNeedsLayout();
}

void SearchBar::setDelegate(SearchBarDelegate* d) {
    RT_MAIN_THREAD_ONLY();
    if (hook_) {
        auto hook = hook_;
        hook(*this, d);
    } else {
        delegate_ = d;
    }
}

SearchBar::DelegateHook SearchBar::setDelegateHook(DelegateHook hook) {
    RT_MAIN_THREAD_ONLY();
    auto old = std::move(hook_);
    hook_ = std::move(hook);
    return old;
}

void SearchBar::showButton(bool shown, rt::Ref<Button>& button, const char* title,
                           void (SearchBarDelegate::*clicked)(SearchBar&)) {
    if (shown && !button) {
        button = Button::buttonWithType(ButtonType::System);
        button->setTitle(title, ControlState::Normal);
        rt::Weak<SearchBar> weak = selfAs<SearchBar>();
        button->addTarget(nullptr, "tap", ControlEvents::TouchUpInside, [weak, clicked](const rt::Ref<Control>&) {
            auto bar = weak.lock();
            if (bar && bar->delegate_) (bar->delegate_->*clicked)(*bar);
        });
        addSubview(button);
    }
    if (button) button->setHidden(!shown);
    setNeedsLayout();
}

void SearchBar::setShowsCancelButton(bool s) {
    RT_MAIN_THREAD_ONLY();
    showsCancel_ = s;
    showButton(s, cancel_, "Cancel", &SearchBarDelegate::searchBarCancelButtonClicked);
}

void SearchBar::setShowsBookmarkButton(bool s) {
    RT_MAIN_THREAD_ONLY();
    showsBookmark_ = s;
    showButton(s, bookmark_, "Bookmarks", &SearchBarDelegate::searchBarBookmarkButtonClicked);
}

void SearchBar::setShowsSearchResultsButton(bool s) {
    RT_MAIN_THREAD_ONLY();
    showsResults_ = s;
    showButton(s, results_, "Results", &SearchBarDelegate::searchBarResultsListButtonClicked);
}

void SearchBar::setScopeButtonTitles(std::vector<std::string> titles) {
    RT_MAIN_THREAD_ONLY();
    scopeTitles_ = std::move(titles);
    if (scopes_) scopes_->removeFromSuperview();
    scopes_ = nullptr;
    if (scopeTitles_.empty()) return;
    scopes_ = rt::make<SegmentedControl>(scopeTitles_);
    scopes_->setSelectedSegmentIndex(0);
    rt::Weak<SearchBar> weak = selfAs<SearchBar>();
    scopes_->addTarget(nullptr, "scope", ControlEvents::ValueChanged, [weak](const rt::Ref<Control>&) {
        auto bar = weak.lock();
        if (bar && bar->delegate_) {
            bar->delegate_->searchBarSelectedScopeButtonIndexDidChange(*bar, bar->selectedScopeButtonIndex());
        }
    });
    addSubview(scopes_);
    setNeedsLayout();
}

void SearchBar::setSelectedScopeButtonIndex(long i) {
    RT_MAIN_THREAD_ONLY();
    if (scopes_) scopes_->setSelectedSegmentIndex(i);
}

void SearchBar::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    Rect b = bounds();
    double row = 44;
    double right = maxX(b) - 8;
    for (const auto& button : {cancel_, results_, bookmark_}) {
        if (!button || button->isHidden()) continue;
        button->sizeToFit();
        double w = std::max(button->bounds().size.width, 44.0);
        right -= w;
        button->setFrame(Rect(right, minY(b) + 7, w, 30));
        right -= 8;
    }
    field_->setFrame(Rect(minX(b) + 8, minY(b) + 7, std::max(0.0, right - minX(b) - 8), 30));
    if (scopes_) scopes_->setFrame(Rect(minX(b) + 8, minY(b) + row, std::max(0.0, width(b) - 16), 29));
}

}  // namespace ui
