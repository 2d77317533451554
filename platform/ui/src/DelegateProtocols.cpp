#include <ui/DelegateProtocols.h>

#include <rt/Protocol.h>
#include <rt/StandIn.h>

namespace ui {

namespace {

/// True when the stand-in's receiver answers the selector itself.
template <class P> bool answers(const rt::StandIn<P>& s, const char* selector) {
    return s.receiver() && rt::respondsToSelector(*s.receiver(), rt::sel(selector));
}

class SearchBarDelegateStandIn : public rt::StandIn<SearchBarDelegate> {
    RT_CLASS(SearchBarDelegateStandIn, rt::Proxy)
public:
#define ZID_RELAY_BOOL(method, name)                                                     \
    bool method(SearchBar& b) override {                                                \
        return answers(*this, name) ? forward<bool>(rt::sel(name), b) : SearchBarDelegate::method(b); \
    }
#define ZID_RELAY_VOID(method, name)                                   \
    void method(SearchBar& b) override {                              \
        if (answers(*this, name)) forward<void>(rt::sel(name), b);     \
    }
    ZID_RELAY_BOOL(searchBarShouldBeginEditing, "searchBarShouldBeginEditing:")
    ZID_RELAY_VOID(searchBarTextDidBeginEditing, "searchBarTextDidBeginEditing:")
    ZID_RELAY_BOOL(searchBarShouldEndEditing, "searchBarShouldEndEditing:")
    ZID_RELAY_VOID(searchBarTextDidEndEditing, "searchBarTextDidEndEditing:")
    ZID_RELAY_VOID(searchBarSearchButtonClicked, "searchBarSearchButtonClicked:")
    ZID_RELAY_VOID(searchBarCancelButtonClicked, "searchBarCancelButtonClicked:")
    ZID_RELAY_VOID(searchBarBookmarkButtonClicked, "searchBarBookmarkButtonClicked:")
    ZID_RELAY_VOID(searchBarResultsListButtonClicked, "searchBarResultsListButtonClicked:")
#undef ZID_RELAY_BOOL
#undef ZID_RELAY_VOID
    void searchBarTextDidChange(SearchBar& b, const std::string& t) override {
        if (answers(*this, "searchBar:textDidChange:")) forward<void>(rt::sel("searchBar:textDidChange:"), b, t);
    }
    void searchBarSelectedScopeButtonIndexDidChange(SearchBar& b, long i) override {
        if (answers(*this, "searchBar:selectedScopeButtonIndexDidChange:")) {
            forward<void>(rt::sel("searchBar:selectedScopeButtonIndexDidChange:"), b, i);
        }
    }
};

class TextViewDelegateStandIn : public rt::StandIn<TextViewDelegate> {
    RT_CLASS(TextViewDelegateStandIn, rt::Proxy)
public:
    bool textViewShouldBeginEditing(TextView& v) override {
        return answers(*this, "textViewShouldBeginEditing:") ? forward<bool>(rt::sel("textViewShouldBeginEditing:"), v)
                                                             : TextViewDelegate::textViewShouldBeginEditing(v);
    }
    void textViewDidBeginEditing(TextView& v) override {
        if (answers(*this, "textViewDidBeginEditing:")) forward<void>(rt::sel("textViewDidBeginEditing:"), v);
    }
    bool textViewShouldEndEditing(TextView& v) override {
        return answers(*this, "textViewShouldEndEditing:") ? forward<bool>(rt::sel("textViewShouldEndEditing:"), v)
                                                           : TextViewDelegate::textViewShouldEndEditing(v);
    }
    void textViewDidEndEditing(TextView& v) override {
        if (answers(*this, "textViewDidEndEditing:")) forward<void>(rt::sel("textViewDidEndEditing:"), v);
    }
    bool textViewShouldChangeText(TextView& v, TextRange r, const std::string& s) override {
        const char* sel = "textView:shouldChangeTextInRange:replacementText:";
        return answers(*this, sel) ? forward<bool>(rt::sel(sel), v, r, s) : TextViewDelegate::textViewShouldChangeText(v, r, s);
    }
    void textViewDidChange(TextView& v) override {
        if (answers(*this, "textViewDidChange:")) forward<void>(rt::sel("textViewDidChange:"), v);
    }
    bool textViewShouldInteractWithURL(TextView& v, const std::string& url, TextRange r) override {
        const char* sel = "textView:shouldInteractWithURL:inRange:";
        return answers(*this, sel) ? forward<bool>(rt::sel(sel), v, url, r)
                                   : TextViewDelegate::textViewShouldInteractWithURL(v, url, r);
    }
};

class TextFieldDelegateStandIn : public rt::StandIn<TextFieldDelegate> {
    RT_CLASS(TextFieldDelegateStandIn, rt::Proxy)
public:
    bool textFieldShouldBeginEditing(TextField& f) override {
        return answers(*this, "textFieldShouldBeginEditing:") ? forward<bool>(rt::sel("textFieldShouldBeginEditing:"), f)
                                                              : TextFieldDelegate::textFieldShouldBeginEditing(f);
    }
    void textFieldDidBeginEditing(TextField& f) override {
        if (answers(*this, "textFieldDidBeginEditing:")) forward<void>(rt::sel("textFieldDidBeginEditing:"), f);
    }
    bool textFieldShouldEndEditing(TextField& f) override {
        return answers(*this, "textFieldShouldEndEditing:") ? forward<bool>(rt::sel("textFieldShouldEndEditing:"), f)
                                                            : TextFieldDelegate::textFieldShouldEndEditing(f);
    }
    void textFieldDidEndEditing(TextField& f) override {
        if (answers(*this, "textFieldDidEndEditing:")) forward<void>(rt::sel("textFieldDidEndEditing:"), f);
    }
    bool textFieldShouldChangeCharacters(TextField& f, TextRange r, const std::string& s) override {
        const char* sel = "textField:shouldChangeCharactersInRange:replacementString:";
        return answers(*this, sel) ? forward<bool>(rt::sel(sel), f, r, s)
                                   : TextFieldDelegate::textFieldShouldChangeCharacters(f, r, s);
    }
    bool textFieldShouldClear(TextField& f) override {
        return answers(*this, "textFieldShouldClear:") ? forward<bool>(rt::sel("textFieldShouldClear:"), f)
                                                       : TextFieldDelegate::textFieldShouldClear(f);
    }
    bool textFieldShouldReturn(TextField& f) override {
        return answers(*this, "textFieldShouldReturn:") ? forward<bool>(rt::sel("textFieldShouldReturn:"), f)
                                                        : TextFieldDelegate::textFieldShouldReturn(f);
    }
};

class WebViewDelegateStandIn : public rt::StandIn<WebViewDelegate> {
    RT_CLASS(WebViewDelegateStandIn, rt::Proxy)
public:
    bool webViewShouldStartLoad(rt::Object& w, const std::string& request, WebViewNavigationType t) override {
        const char* sel = "webView:shouldStartLoadWithRequest:navigationType:";
        return answers(*this, sel) ? forward<bool>(rt::sel(sel), w, request, long(t))
                                   : WebViewDelegate::webViewShouldStartLoad(w, request, t);
    }
    void webViewDidStartLoad(rt::Object& w) override {
        if (answers(*this, "webViewDidStartLoad:")) forward<void>(rt::sel("webViewDidStartLoad:"), w);
    }
    void webViewDidFinishLoad(rt::Object& w) override {
        if (answers(*this, "webViewDidFinishLoad:")) forward<void>(rt::sel("webViewDidFinishLoad:"), w);
    }
    void webViewDidFailLoad(rt::Object& w, const std::string& e) override {
        if (answers(*this, "webView:didFailLoadWithError:")) forward<void>(rt::sel("webView:didFailLoadWithError:"), w, e);
    }
};

}  // namespace

void describeDelegateProtocols() {
    static const bool described = [] {
        rt::Protocol::describe(DelegateProtocol::SearchBar)
            .optional(rt::sel("searchBarShouldBeginEditing:"), &SearchBarDelegate::searchBarShouldBeginEditing)
            .optional(rt::sel("searchBarTextDidBeginEditing:"), &SearchBarDelegate::searchBarTextDidBeginEditing)
            .optional(rt::sel("searchBarShouldEndEditing:"), &SearchBarDelegate::searchBarShouldEndEditing)
            .optional(rt::sel("searchBarTextDidEndEditing:"), &SearchBarDelegate::searchBarTextDidEndEditing)
            .optional(rt::sel("searchBar:textDidChange:"), &SearchBarDelegate::searchBarTextDidChange)
            .optional(rt::sel("searchBarSearchButtonClicked:"), &SearchBarDelegate::searchBarSearchButtonClicked)
            .optional(rt::sel("searchBarCancelButtonClicked:"), &SearchBarDelegate::searchBarCancelButtonClicked)
            .optional(rt::sel("searchBarBookmarkButtonClicked:"), &SearchBarDelegate::searchBarBookmarkButtonClicked)
            .optional(rt::sel("searchBarResultsListButtonClicked:"),
                      &SearchBarDelegate::searchBarResultsListButtonClicked)
            .optional(rt::sel("searchBar:selectedScopeButtonIndexDidChange:"),
                      &SearchBarDelegate::searchBarSelectedScopeButtonIndexDidChange);
        rt::registerStandIn<SearchBarDelegate, SearchBarDelegateStandIn>(DelegateProtocol::SearchBar);

        rt::Protocol::describe(DelegateProtocol::TextView)
            .optional(rt::sel("textViewShouldBeginEditing:"), &TextViewDelegate::textViewShouldBeginEditing)
            .optional(rt::sel("textViewDidBeginEditing:"), &TextViewDelegate::textViewDidBeginEditing)
            .optional(rt::sel("textViewShouldEndEditing:"), &TextViewDelegate::textViewShouldEndEditing)
            .optional(rt::sel("textViewDidEndEditing:"), &TextViewDelegate::textViewDidEndEditing)
            .optional(rt::sel("textView:shouldChangeTextInRange:replacementText:"),
                      &TextViewDelegate::textViewShouldChangeText)
            .optional(rt::sel("textViewDidChange:"), &TextViewDelegate::textViewDidChange)
            .optional(rt::sel("textView:shouldInteractWithURL:inRange:"),
                      &TextViewDelegate::textViewShouldInteractWithURL);
        rt::registerStandIn<TextViewDelegate, TextViewDelegateStandIn>(DelegateProtocol::TextView);

        rt::Protocol::describe(DelegateProtocol::TextField)
            .optional(rt::sel("textFieldShouldBeginEditing:"), &TextFieldDelegate::textFieldShouldBeginEditing)
            .optional(rt::sel("textFieldDidBeginEditing:"), &TextFieldDelegate::textFieldDidBeginEditing)
            .optional(rt::sel("textFieldShouldEndEditing:"), &TextFieldDelegate::textFieldShouldEndEditing)
            .optional(rt::sel("textFieldDidEndEditing:"), &TextFieldDelegate::textFieldDidEndEditing)
            .optional(rt::sel("textField:shouldChangeCharactersInRange:replacementString:"),
                      &TextFieldDelegate::textFieldShouldChangeCharacters)
            .optional(rt::sel("textFieldShouldClear:"), &TextFieldDelegate::textFieldShouldClear)
            .optional(rt::sel("textFieldShouldReturn:"), &TextFieldDelegate::textFieldShouldReturn);
        rt::registerStandIn<TextFieldDelegate, TextFieldDelegateStandIn>(DelegateProtocol::TextField);

        rt::Protocol::describe(DelegateProtocol::WebView)
            .optional(rt::sel("webView:shouldStartLoadWithRequest:navigationType:"),
                      &WebViewDelegate::webViewShouldStartLoad)
            .optional(rt::sel("webViewDidStartLoad:"), &WebViewDelegate::webViewDidStartLoad)
            .optional(rt::sel("webViewDidFinishLoad:"), &WebViewDelegate::webViewDidFinishLoad)
            .optional(rt::sel("webView:didFailLoadWithError:"), &WebViewDelegate::webViewDidFailLoad);
        rt::registerStandIn<WebViewDelegate, WebViewDelegateStandIn>(DelegateProtocol::WebView);
        return true;
    }();
    (void)described;
}

}  // namespace ui
