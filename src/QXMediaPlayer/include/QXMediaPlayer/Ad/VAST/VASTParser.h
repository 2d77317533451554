#pragma once
// Reads VAST 1 ("VideoAdServingTemplate") and VAST 2 and later ("VAST" with a version
// above 1.9999) documents into linear ads. The text goes through a strict XML policy
// first (valid UTF-8, no DOCTYPE, well-formed, at most 1 MiB and 64 levels deep); a
// refused document, like an unknown root, gives nothing.
#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>

#include <optional>
#include <string_view>
#include <vector>

namespace zid {

using VASTAdList = std::vector<rt::Ref<VASTAdElement>>;

class VASTParser : public rt::Object {
    RT_CLASS(VASTParser, rt::Object)
public:
    VASTParser() = default;

    /// The ads of the document, possibly none; nothing when the document is refused or
    /// no dialect reads its root.
    std::optional<VASTAdList> parse(std::string_view document) const;
    /// parse, then the wrapper's impressions, tracking and clicks merged into every ad.
    std::optional<VASTAdList> parse(std::string_view document, const VASTAdElement& wrapperContent) const;
};

}  // namespace zid
