#pragma once
// A search bar: a search field with optional cancel, bookmark and results-list buttons
// and scope buttons; its events reach one delegate.

#include <rt/MainThread.h>
#include <memory>

#include <ui/Button.h>
#include <ui/Slider.h>
#include <ui/TextField.h>

namespace ui {

class SearchBar;

/// Every method optional.
class SearchBarDelegate {
public:
    virtual ~SearchBarDelegate() = default;
    virtual bool searchBarShouldBeginEditing(SearchBar&) { return true; }
    virtual void searchBarTextDidBeginEditing(SearchBar&) {}
    virtual bool searchBarShouldEndEditing(SearchBar&) { return true; }
    virtual void searchBarTextDidEndEditing(SearchBar&) {}
    virtual void searchBarTextDidChange(SearchBar&, const std::string&) {}
    virtual void searchBarSearchButtonClicked(SearchBar&) {}
    virtual void searchBarCancelButtonClicked(SearchBar&) {}
    virtual void searchBarBookmarkButtonClicked(SearchBar&) {}
    virtual void searchBarResultsListButtonClicked(SearchBar&) {}
    virtual void searchBarSelectedScopeButtonIndexDidChange(SearchBar&, long) {}
};

/// A search field with optional cancel, bookmark and results-list buttons and scope
/// buttons. Its events reach the delegate; the delegate setter is a hook that a
/// stand-in delegate can take over (see setDelegateHook).
class SearchBar : public View {
    RT_CLASS(SearchBar, View)
public:
    explicit SearchBar(const Rect& frame = Rect(0, 0, 320, 44));
    void didInitialize() override;

    std::string text() const { RT_MAIN_THREAD_ONLY(); return field_->text(); }
    void setText(std::string t) { RT_MAIN_THREAD_ONLY(); field_->setText(std::move(t)); }
    std::string placeholder() const { RT_MAIN_THREAD_ONLY(); return field_->placeholder(); }
    void setPlaceholder(std::string p) { RT_MAIN_THREAD_ONLY(); field_->setPlaceholder(std::move(p)); }
    rt::Ref<TextField> searchField() const { RT_MAIN_THREAD_ONLY(); return field_; }

    SearchBarDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_; }
    /// Goes through the hook when one is installed.
    void setDelegate(SearchBarDelegate* d);
    /// Sets the delegate without the hook.
    void setDelegateDirectly(SearchBarDelegate* d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }
    /// A hook that takes every later setDelegate (a stand-in delegate installs one so
    /// assigning a delegate changes what it wraps). Answers the previous hook.
    using DelegateHook = std::function<void(SearchBar&, SearchBarDelegate*)>;
    DelegateHook setDelegateHook(DelegateHook hook);

    bool showsCancelButton() const { RT_MAIN_THREAD_ONLY(); return showsCancel_; }
    void setShowsCancelButton(bool s);
    bool showsBookmarkButton() const { RT_MAIN_THREAD_ONLY(); return showsBookmark_; }
    void setShowsBookmarkButton(bool s);
    bool showsSearchResultsButton() const { RT_MAIN_THREAD_ONLY(); return showsResults_; }
    void setShowsSearchResultsButton(bool s);
    std::vector<std::string> scopeButtonTitles() const { RT_MAIN_THREAD_ONLY(); return scopeTitles_; }
    void setScopeButtonTitles(std::vector<std::string> titles);
    long selectedScopeButtonIndex() const {
        RT_MAIN_THREAD_ONLY();
        return scopes_ ? scopes_->selectedSegmentIndex() : 0;
    }
    void setSelectedScopeButtonIndex(long i);

    rt::Ref<Button> cancelButton() const { RT_MAIN_THREAD_ONLY(); return cancel_; }
    rt::Ref<Button> bookmarkButton() const { RT_MAIN_THREAD_ONLY(); return bookmark_; }
    rt::Ref<Button> resultsButton() const { RT_MAIN_THREAD_ONLY(); return results_; }
    rt::Ref<SegmentedControl> scopeBar() const { RT_MAIN_THREAD_ONLY(); return scopes_; }
    void layoutSubviews() override;

private:
    struct FieldRelay;
    /// Makes the button on first showing; one tap tells the delegate through `clicked`.
    void showButton(bool shown, rt::Ref<Button>& button, const char* title,
                    void (SearchBarDelegate::*clicked)(SearchBar&));
    rt::Ref<TextField> field_;
    std::unique_ptr<FieldRelay> relay_;
    SearchBarDelegate* delegate_ = nullptr;
    DelegateHook hook_;
    bool showsCancel_ = false, showsBookmark_ = false, showsResults_ = false;
    rt::Ref<Button> cancel_, bookmark_, results_;
    rt::Ref<SegmentedControl> scopes_;
    std::vector<std::string> scopeTitles_;
};

}  // namespace ui
