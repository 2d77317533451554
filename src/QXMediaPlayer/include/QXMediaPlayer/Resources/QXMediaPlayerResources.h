#pragma once
// The advertising module's resource bundle "QXMediaPlayer" and its images.
#include <fnd/Bundle.h>
#include <ui/Image.h>

#include <string>

namespace zid {

/// The "QXMediaPlayer" bundle, located once per process; the main bundle when it cannot
/// be found.
rt::Ref<fnd::Bundle> QXMediaPlayerBundle();

/// The image file of that name ("ad.close.png": resource "ad.close", type "png") in the
/// module's bundle; nil when the bundle holds no such file.
rt::Ref<ui::Image> imageNamedInLib(const std::string& fileName);

}  // namespace zid
