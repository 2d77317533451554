#pragma once
// Reads VAST 1 ("VideoAdServingTemplate") and VAST 2 and later ("VAST" with a version
// above 1.9999) documents into linear ads. The text goes through a strict XML policy
// first (one leading byte-order mark skipped, valid UTF-8, no DOCTYPE, well-formed, at
// most 1 MiB and 64 levels deep); a refused document, like an unknown root, gives
// nothing.
//
// The ads keep only URLs a tracker or a player may request: a media file, impression,
// tracking or click URL in a scheme other than http or https is dropped, and so is every
// URL of one event beyond maxUrlsPerEvent; each document that lost URLs logs one line
// saying what went.
#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>
#include <rt/Class.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace zid {

using VASTAdList = std::vector<rt::Ref<VASTAdElement>>;

class VASTParser : public rt::Object {
    RT_CLASS(VASTParser, rt::Object)
public:
    VASTParser();

    /// The dialect readers tried in order on the root element, each made fresh for every
    /// document; "VASTVersion1Parser" then "VASTVersion2Parser" at first. A host may
    /// reorder or remove them; a class that is not a VAST version parser is skipped.
    std::vector<const rt::Class*> versionParsers;
    /// URLs kept per tracking event, per click kind and for the impressions.
    std::size_t maxUrlsPerEvent = 64;

    /// The ads of the document, possibly none; nothing when the document is refused or
    /// no dialect reads its root.
    std::optional<VASTAdList> parse(std::string_view document) const;
    /// parse, then the wrapper's impressions, tracking and clicks merged into every ad.
    std::optional<VASTAdList> parse(std::string_view document, const VASTAdElement& wrapperContent) const;

private:
    void keepRequestableUrls(VASTAdList& ads) const;
};

}  // namespace zid
