#pragma once
// The interface kit's resource bundle "QXUIKit" and its images.

#include <string>
#include <string_view>

#include <fnd/Bundle.h>
#include <ui/Image.h>

namespace zid {

/// The kit's bundle, located once per process; the main bundle when it is missing.
rt::Ref<fnd::Bundle> QXUIKitBundle();
/// The kit's image of a file name with its type: "logo.png" is the file logo of type
/// png, "a.b.png" the file a of type png (first and last pieces), and a name without a
/// dot is both name and type. Nil when the bundle has no such file.
rt::Ref<ui::Image> qxUIKitImageNamed(std::string_view name);
/// An image of a bundle by name: "name.ext" as given, a bare name as a PNG. Nil when
/// there is none.
rt::Ref<ui::Image> imageNamedInBundle(const fnd::Bundle& bundle, std::string_view name);

}  // namespace zid
