#pragma once
// A search bar: a search field with optional cancel, bookmark and results-list buttons
// and scope buttons; its events reach one delegate.

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

    std::string text() const { return field_->text(); }
    void setText(std::string t) { field_->setText(std::move(t)); }
    std::string placeholder() const { return field_->placeholder(); }
    void setPlaceholder(std::string p) { field_->setPlaceholder(std::move(p)); }
    rt::Ref<TextField> searchField() const { return field_; }

    SearchBarDelegate* delegate() const { return delegate_; }
    /// Goes through the hook when one is installed.
    void setDelegate(SearchBarDelegate* d);
    /// Sets the delegate without the hook.
    void setDelegateDirectly(SearchBarDelegate* d) { delegate_ = d; }
    /// A hook that takes every later setDelegate (a stand-in delegate installs one so
    /// assigning a delegate changes what it wraps). Answers the previous hook.
    using DelegateHook = std::function<void(SearchBar&, SearchBarDelegate*)>;
    DelegateHook setDelegateHook(DelegateHook hook);

    bool showsCancelButton() const { return showsCancel_; }
    void setShowsCancelButton(bool s);
    bool showsBookmarkButton() const { return showsBookmark_; }
    void setShowsBookmarkButton(bool s);
    bool showsSearchResultsButton() const { return showsResults_; }
    void setShowsSearchResultsButton(bool s);
    std::vector<std::string> scopeButtonTitles() const { return scopeTitles_; }
    void setScopeButtonTitles(std::vector<std::string> titles);
    long selectedScopeButtonIndex() const { return scopes_ ? scopes_->selectedSegmentIndex() : 0; }
    void setSelectedScopeButtonIndex(long i);

    rt::Ref<Button> cancelButton() const { return cancel_; }
    rt::Ref<Button> bookmarkButton() const { return bookmark_; }
    rt::Ref<Button> resultsButton() const { return results_; }
    rt::Ref<SegmentedControl> scopeBar() const { return scopes_; }
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
