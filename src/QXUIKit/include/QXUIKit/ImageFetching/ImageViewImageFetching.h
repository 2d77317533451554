#pragma once
// Loading a remote image into an image view: one request per view (a new one cancels
// the one before, which then never calls back), run on a shared queue of at most five
// loads, with a shared memory cache that is read first and filled by every load that
// succeeds. Call on the main thread; every call-back and change of the view happens
// there.

#include <string>

#include <fnd/OperationQueue.h>
#include <ui/ImageView.h>

#include "QXUIKit/ImageFetching/QXImageCache.h"
#include "QXUIKit/ImageFetching/QXImageRequestOperation.h"

namespace zid {

/// The association key under which a view keeps its current operation.
inline constexpr const char* kQXImageRequestOperationKey = "kQXImageRequestOperationKey";

/// The shared image cache, made on first use.
rt::Ref<QXImageCache> qxSharedImageCache();
/// The shared queue of image loads (at most 5 at once), made on first use.
rt::Ref<fnd::OperationQueue> qxSharedImageRequestOperationQueue();

/// The view's current operation, or nil.
rt::Ref<QXImageRequestOperation> qxImageRequestOperation(const ui::ImageView& view);
/// Cancels the view's operation and forgets it.
void qxCancelImageRequestOperation(ui::ImageView& view);

/// Loads the URL's image into the view (the request accepts "image/*").
void qxSetImageWithURL(const rt::Ref<ui::ImageView>& view, const std::string& url,
                       const rt::Ref<ui::Image>& placeholder = nullptr);
/// The full form. A cached image is shown (or handed to the success block, with a nil
/// request) at once. Otherwise the placeholder, when given, shows until the load ends;
/// on success the image is cached and handed to the success block, or shown when there
/// is none; on failure the failure block is called and the placeholder stays.
void qxSetImageWithURLRequest(const rt::Ref<ui::ImageView>& view, const rt::Ref<fnd::URLRequest>& request,
                              const rt::Ref<ui::Image>& placeholder,
                              QXImageRequestOperation::SuccessBlock success = {},
                              QXImageRequestOperation::FailureBlock failure = {});

}  // namespace zid
