#include <RuzEzo/Interface/FKTextSignals.h>

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/StandIn.h>
#include <ui/DelegateProtocols.h>

namespace zid {

namespace {

const rt::Protocol& protocolNamed(const char* name) {
    ui::describeDelegateProtocols();
    return rt::Protocol::describe(name);
}

/// The call's first argument: the view that made it.
FKSignalRef argumentSignal(const rt::Ref<FKProxyDelegate>& proxy, const char* selector, std::size_t index) {
    return proxy->signalForSelector(rt::sel(selector))->map([index](const rt::Value& v) {
        auto call = v.as<FKInvocationValue>();
        if (!call || call->arguments().size() <= index) return rt::Value();
        return call->arguments()[index];
    });
}

rt::Ref<rt::Object> objectOf(ui::SearchBarDelegate* d) {
    auto* o = dynamic_cast<rt::Object*>(d);
    return o ? o->self() : nullptr;
}

}  // namespace

// ---- search bar --------------------------------------------------------------------------------

rt::Ref<FKProxyDelegate> proxyDelegate(ui::SearchBar& bar) {
    if (auto existing = bar.associatedObject("proxyDelegate").as<FKProxyDelegate>()) return existing;
    auto proxy = FKProxyDelegate::proxyWithProtocol(protocolNamed(ui::DelegateProtocol::SearchBar));
    proxy->setWrappedDelegate(objectOf(bar.delegate()));
    rt::Ref<rt::Object> holder;
    auto* standIn = rt::asProtocol<ui::SearchBarDelegate>(*proxy, holder);
    bar.setDelegateDirectly(standIn);
    bar.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(proxy)), "proxyDelegate");
    bar.setAssociatedObject(rt::Value(holder), "proxyDelegate::standIn");
    // From now on, assigning a delegate changes what the proxy wraps.
    rt::Weak<FKProxyDelegate> weak = proxy;
    bar.setDelegateHook([weak](ui::SearchBar&, ui::SearchBarDelegate* d) {
        if (auto p = weak.lock()) p->setWrappedDelegate(objectOf(d));
    });
    return proxy;
}

FKSignalRef didBeginEditingSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBarTextDidBeginEditing:", 0);
}
FKSignalRef didEndEditingSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBarTextDidEndEditing:", 0);
}
FKSignalRef didChangeTextSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBar:textDidChange:", 0);
}
FKSignalRef searchButtonClickedSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBarSearchButtonClicked:", 0);
}
FKSignalRef cancelButtonClickedSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBarCancelButtonClicked:", 0);
}
FKSignalRef bookmarkButtonClickedSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBarBookmarkButtonClicked:", 0);
}
FKSignalRef resultsListButtonClickedSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBarResultsListButtonClicked:", 0);
}
FKSignalRef selectedScopeButtonIndexSignal(ui::SearchBar& b) {
    return argumentSignal(proxyDelegate(b), "searchBar:selectedScopeButtonIndexDidChange:", 0);
}

// ---- web view -------------------------------------------------------------------------------------

rt::Ref<FKProxyDelegate> webViewProxyDelegate(rt::Object& webView) {
    if (auto existing = webView.associatedObject("kProxyDelegate").as<FKProxyDelegate>()) return existing;
    auto proxy = FKProxyDelegate::proxyWithProtocol(protocolNamed(ui::DelegateProtocol::WebView));
    webView.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(proxy)), "kProxyDelegate");
    return proxy;
}

FKSignalRef requestSignal(rt::Object& webView) {
    rt::Value key(std::string("requestSignal"));
    if (auto existing = customSignalForKey(webView, key)) return existing;
    auto signal = argumentSignal(webViewProxyDelegate(webView), "webView:shouldStartLoadWithRequest:navigationType:", 1);
    setCustomSignal(webView, signal, key);
    return signal;
}

// ---- text view ---------------------------------------------------------------------------------------

FKSignalRef textSignal(ui::TextView& view) {
    rt::Value key(std::string("FKTextSignal"));
    if (auto existing = customSignalForKey(view, key)) return existing;
    rt::Weak<ui::TextView> weak = view.selfAs<ui::TextView>();
    auto typed = FKNotificationObserverSignal::signalWithNotificationName(ui::TextViewTextDidChangeNotification,
                                                                           view.self());
    auto mapped = typed->map([weak](const rt::Value&) {
        auto v = weak.lock();
        return v ? rt::Value(v->text()) : rt::Value();
    });
    mapped->setValue(rt::Value(view.text()));
    // Text set by code comes through key-value observation; the trigger keeps the
    // mapped signal for as long as the view lives.
    onSignal(signalForKeypath(view, "text"), deallocSignal(view), [mapped](const rt::Value& v) { mapped->setValue(v); });
    setCustomSignal(view, mapped, key);
    return mapped;
}

FKSignalRef linkSignal(ui::TextView& view) {
    rt::Value key(std::string("linkSignal"));
    if (auto existing = customSignalForKey(view, key)) return existing;
    auto proxy = proxyDelegateWithProtocol(view, protocolNamed(ui::DelegateProtocol::TextView));
    auto signal = argumentSignal(proxy, "textView:shouldInteractWithURL:inRange:", 1);
    setCustomSignal(view, signal, key);
    return signal;
}

rt::Value textAtPoint(ui::TextView& view, ui::Point point, int granularity) {
    std::size_t position = view.closestPositionToPoint(point);
    auto range = view.rangeEnclosingPosition(position, static_cast<ui::TextGranularity>(granularity));
    if (!range) return rt::Value();
    return rt::Value(view.textInRange(*range));
}

FKSignalRef touchedTextEntitySignal(ui::TextView& view, int granularity, const std::string& key) {
    if (auto existing = customSignalForKey(view, rt::Value(key))) return existing;
    rt::Weak<ui::TextView> weak = view.selfAs<ui::TextView>();
    auto signal = singleTapSignal(view)->map([weak, granularity](const rt::Value& v) {
        auto view = weak.lock();
        auto tap = v.as<ui::GestureRecognizer>();
        if (!view || !tap) return rt::Value();
        return textAtPoint(*view, tap->locationInView(view.get()), granularity);
    });
    setCustomSignal(view, signal, rt::Value(key));
    return signal;
}

FKSignalRef touchedCharacterSignal(ui::TextView& v) { return touchedTextEntitySignal(v, 0, "touchedCharacterSignal"); }
FKSignalRef touchedWordSignal(ui::TextView& v) { return touchedTextEntitySignal(v, 1, "touchedWordSignal"); }
FKSignalRef touchedSentenceSignal(ui::TextView& v) { return touchedTextEntitySignal(v, 2, "touchedSentenceSignal"); }
FKSignalRef touchedParagraphSignal(ui::TextView& v) { return touchedTextEntitySignal(v, 3, "touchedParagraphSignal"); }
FKSignalRef touchedLineSignal(ui::TextView& v) { return touchedTextEntitySignal(v, 4, "touchedLineSignal"); }

// ---- text field ----------------------------------------------------------------------------------------

FKSignalRef textSignal(ui::TextField& field) {
    if (auto existing = field.associatedObject("FKTextSignal").as<FKSignal>()) return existing;
    auto signal = signalForEvents(field, ui::ControlEvents::EditingChanged)->map([](const rt::Value& v) {
        auto f = v.as<ui::TextField>();
        return f ? rt::Value(f->text()) : rt::Value();
    });
    signal->setValue(rt::Value(field.text()));
    field.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(signal)), "FKTextSignal");
    return signal;
}

FKSignalRef returnSignal(ui::TextField& f) { return signalForEvents(f, ui::ControlEvents::EditingDidEndOnExit); }
FKSignalRef endSignal(ui::TextField& f) { return signalForEvents(f, ui::ControlEvents::EditingDidEnd); }

}  // namespace zid
