#pragma once
// Binding an image view to a signal of image sources: nil shows the placeholder, a
// text beginning with "http" is loaded remotely (optionally kept for a time to live in
// the shared expiring cache), one beginning with "file" is read from disk, and any
// other text names an image of the application's main bundle.

#include <string>

#include <QXFoundation/Disposable/IDisposable.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <fnd/URLRequest.h>
#include <ui/ImageView.h>

namespace zid {

/// The view's current binding, or nil.
rt::Ref<rt::Object> disposable(const ui::ImageView& view);

/// Follows the signal until the view goes, the binding is disposed, or the view is
/// bound again (which disposes this binding). A value the signal already holds is
/// applied at once. Answers the binding (an IDisposable).
rt::Ref<rt::Object> bindSourceSignal(const rt::Ref<ui::ImageView>& view, const FKSignalRef& signal,
                                     const rt::Ref<ui::Image>& placeholder = nullptr, double ttl = 0);

/// Loads one remote image: with a time to live of 0 through the fetching category and
/// its memory cache; otherwise from the shared expiring cache when it holds the text,
/// else fetched without the memory cache and kept there for ttl seconds (a failure
/// shows the placeholder).
void requestImageWithURLString(const rt::Ref<ui::ImageView>& view, const std::string& urlString,
                               const rt::Ref<ui::Image>& placeholder, double ttl);

/// A request for the text's URL with a 60-second time-out, using the memory cache or
/// not; nil when the text is no URL.
rt::Ref<fnd::URLRequest> imageRequestWithURLString(const std::string& urlString, bool cacheEnabled);

}  // namespace zid
