#pragma once
// Reads VAST 1 ("VideoAdServingTemplate") and VAST 2 and later ("VAST" with a version
// above 1.9999) documents into linear ads. The text goes through a strict XML policy
// first (one leading byte-order mark skipped, valid UTF-8, no DOCTYPE, well-formed, at
// most 1 MiB and 64 levels deep); a refused document, like an unknown root, gives
// nothing.
//
// The ads keep only URLs a tracker or a player may request. A URL without a scheme
// ("//host/m.mp4", "/t?e=1", "t?e=1") is resolved against the address of the document
// that names it, as a link is; a media file, impression, tracking or click URL that is
// not then http or https is dropped (a relative one too when the document's address is
// not known), and so is every URL of one event beyond maxUrlsPerEvent. The bound is per
// document: an ad read below a wrapper keeps up to maxUrlsPerEvent of its own and the
// wrapper's besides, so a chain of wrappers keeps at most its length times the bound.
// Each document that lost URLs logs one line saying what went.
#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>
#include <QXMediaPlayer/Ad/VAST/VASTVersionParser.h>
#include <rt/Class.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace zid {

class VASTParser : public rt::Object {
    RT_CLASS(VASTParser, rt::Object)
public:
    VASTParser();

    /// The dialect readers tried in order on the root element, each made fresh for every
    /// document; "VASTVersion1Parser" then "VASTVersion2Parser" at first. A host may
    /// reorder or remove them, or add a class of its own derived from VASTVersionParser;
    /// a class that is not a VAST version parser is skipped.
    std::vector<const rt::Class*> versionParsers;
    /// URLs one document keeps per tracking event, per click kind and for the impressions.
    std::size_t maxUrlsPerEvent = 64;

    /// The ads of the document, possibly none; nothing when the document is refused or
    /// no dialect reads its root. documentUrl is the address the document came from (the
    /// one that answered, after redirects), against which its relative URLs resolve.
    std::optional<VASTAdList> parse(std::string_view document, std::string_view documentUrl = {}) const;
    /// parse, then the wrapper's impressions, tracking and clicks (already resolved and
    /// bounded when its own document was read) merged into every ad.
    std::optional<VASTAdList> parse(std::string_view document, const VASTAdElement& wrapperContent,
                                    std::string_view documentUrl = {}) const;

private:
    void keepRequestableUrls(VASTAdList& ads, std::string_view documentUrl) const;
};

}  // namespace zid
