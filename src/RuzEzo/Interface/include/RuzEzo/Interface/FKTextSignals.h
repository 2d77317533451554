#pragma once
// Signals of text input and delegate-driven views: the search bar's delegate calls,
// a web view's load requests, a text view's text, links and touched text, and a text
// field's text, return and end of editing.

#include <RuzEzo/Interface/FKProxyDelegate.h>
#include <ui/SearchBar.h>
#include <ui/TextView.h>

namespace zid {

// ---- search bar: each getter sends the search bar for one delegate call ----------------------
/// The search bar's proxy, installed as its delegate on first use; assigning the search
/// bar's delegate afterwards changes what the proxy wraps.
rt::Ref<FKProxyDelegate> proxyDelegate(ui::SearchBar& searchBar);
FKSignalRef didBeginEditingSignal(ui::SearchBar& searchBar);
FKSignalRef didEndEditingSignal(ui::SearchBar& searchBar);
FKSignalRef didChangeTextSignal(ui::SearchBar& searchBar);
FKSignalRef searchButtonClickedSignal(ui::SearchBar& searchBar);
FKSignalRef cancelButtonClickedSignal(ui::SearchBar& searchBar);
FKSignalRef bookmarkButtonClickedSignal(ui::SearchBar& searchBar);
FKSignalRef resultsListButtonClickedSignal(ui::SearchBar& searchBar);
FKSignalRef selectedScopeButtonIndexSignal(ui::SearchBar& searchBar);

// ---- web view (any object that takes a web view delegate) ---------------------------------------
/// The web view's proxy, made once and not installed: a host installs it as the web
/// view's delegate (through the protocol's stand-in) to get requestSignal.
rt::Ref<FKProxyDelegate> webViewProxyDelegate(rt::Object& webView);
/// The request of every should-start-load call.
FKSignalRef requestSignal(rt::Object& webView);

// ---- text view ------------------------------------------------------------------------------------
/// The text, when the user types and when code sets it.
FKSignalRef textSignal(ui::TextView& textView);
/// The URL of every link the user acts on.
FKSignalRef linkSignal(ui::TextView& textView);
FKSignalRef touchedCharacterSignal(ui::TextView& textView);
FKSignalRef touchedWordSignal(ui::TextView& textView);
FKSignalRef touchedSentenceSignal(ui::TextView& textView);
FKSignalRef touchedParagraphSignal(ui::TextView& textView);
FKSignalRef touchedLineSignal(ui::TextView& textView);
FKSignalRef touchedTextEntitySignal(ui::TextView& textView, int granularity, const std::string& key);
/// The text of the granularity's unit around the point (nil when there is none).
rt::Value textAtPoint(ui::TextView& textView, ui::Point point, int granularity);

// ---- text field --------------------------------------------------------------------------------------
/// The text on every change by the user, starting with the current text.
FKSignalRef textSignal(ui::TextField& textField);
/// The field, when return ends its editing.
FKSignalRef returnSignal(ui::TextField& textField);
/// The field, when its editing ends.
FKSignalRef endSignal(ui::TextField& textField);

}  // namespace zid
