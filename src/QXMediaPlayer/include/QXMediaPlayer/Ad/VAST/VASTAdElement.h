#pragma once
// One linear video ad read from a VAST document: impressions, tracking and click URLs,
// media files, duration and, for a wrapper, the address of the document it wraps.
#include <QXMediaPlayer/Ad/VAST/VASTMediaFile.h>
#include <QXMediaPlayer/Ad/VAST/VASTUrlSet.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zid {

/// The keys of VASTAdElement::videoClicks.
extern const std::string kVastClient_ClickThroughTag;   // "ClickThrough"
extern const std::string kVastClient_ClickTrackingTag;  // "ClickTracking"
extern const std::string kVastClient_CustomClicksTag;   // "CustomClicks"

/// URL collections by name (a tracking event, a click kind), names in sorted order.
using VASTUrlMap = std::map<std::string, VASTUrlSet>;
/// Brace token ("{cb}") to its replacement.
using VASTParameterValues = std::map<std::string, std::string>;

/// What one linear ad carries, as read from its document; an ad fetch's response keeps
/// a copy of it.
struct VASTLinearAdFields {
    /// Impression URLs in document order (a wrapper's after the ad's own).
    std::vector<std::string> impressions;
    /// Tracking URLs by the "event" attribute ("start", "firstQuartile", ...).
    VASTUrlMap trackingEvents;
    /// Click URLs by kind (the kVastClient_* keys).
    VASTUrlMap videoClicks;
    std::vector<rt::Ref<VASTMediaFile>> mediaFiles;
    /// The duration exactly as written, normally HH:MM:SS.
    std::optional<std::string> duration;
    /// For a wrapper, the address of the document to fetch next.
    std::optional<std::string> wrapperUrl;
};

class VASTAdElement : public rt::Object, public VASTLinearAdFields {
    RT_CLASS(VASTAdElement, rt::Object)
public:
    VASTAdElement() = default;

    /// True when a media file has an address and the MIME type "video/mp4", compared
    /// without regard to case (one rule for the fetch and the source).
    bool testIfPlayableMediaFileIsAvailable() const;
    /// Repairs the media files whose address is not a valid URL (mediaUrlEscaped) and
    /// removes those that still are not, or have no address; the rest keep their order.
    void urlEncodeIfNeeded();
    /// Rewrites every impression, tracking and click URL and the wrapper URL through
    /// getString (no map: every brace token in a query value is removed).
    void setParametersWithValues(const VASTParameterValues* values);

    /// The URL with the brace tokens of its query values replaced by their values (by
    /// nothing when the map has none). Each "&"-separated pair splits at its first "="
    /// only, and text after a second "?" stays part of the query; replacements are
    /// inserted as they are.
    static std::string getString(const std::string& url, const VASTParameterValues* values);
    /// The brace tokens in the text, each with its braces ("{a}{b}" gives {a}, {b}).
    static std::vector<std::string> getParametersFromString(const std::string& text);

    std::string description() const override;
};

}  // namespace zid
