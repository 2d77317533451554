#pragma once
// The two built-in dialects of VAST, readers over the same element view a host's
// dialect gets. The readers shared by both dialects live in VASTDialectParser; the
// dialect decides where an element's URLs stand (VAST 1 in "URL" children, VAST 2 in the
// element's own text).
#include <QXMediaPlayer/Ad/VAST/VASTVersionParser.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zid {

class VASTDialectParser : public VASTVersionParser {
    RT_CLASS(VASTDialectParser, VASTVersionParser)
public:
    /// The text without whitespace and line breaks at either end.
    static std::string trimUrlString(std::string_view text);
    /// The leading decimal integer of the text (after blanks and a sign), saturated to
    /// 32 bits; 0 when the text does not start with a number.
    static std::int32_t leadingInt32(std::string_view text);

    /// True when the root element has the dialect's root name.
    bool isParsable(const VASTElement& root) const override;
    /// The ads of every child of the root, in order.
    VASTAdList parse(const VASTElement& root) const override;

protected:
    /// Where the dialect's elements keep their URLs: in their "URL" children (each
    /// trimmed), or in their own text.
    enum class UrlPlace { URLChildren, OwnText };
    VASTDialectParser(const char* rootName, UrlPlace urls) : rootName_(rootName), urls_(urls) {}

    /// An "Ad" gives what its first element child gives when that is "InLine" or
    /// "Wrapper"; anything else gives no ad.
    VASTAdList evaluateAdElement(const VASTElement& element) const;
    virtual VASTAdList evaluateInLineElement(const VASTElement& element) const = 0;
    virtual VASTAdList evaluateWrapperElement(const VASTElement& element) const = 0;

    VASTUrlMap evaluateTrackingEvents(const VASTElement& element) const;
    void evaluateTrackingEvent(const VASTElement& element, VASTUrlMap& dictionary) const;
    virtual VASTUrlMap evaluateVideoClicks(const VASTElement& element) const = 0;
    std::vector<rt::Ref<VASTMediaFile>> evaluateMediaFiles(const VASTElement& element) const;

    /// Adds the URLs the element keeps (a "Tracking" element's, a click's) to the set.
    void addElementUrls(const VASTElement& element, VASTUrlSet& urls) const;
    /// The address of a "MediaFile" element, absent when it has none.
    std::optional<std::string> mediaFileUrl(const VASTElement& mediaFile) const;

    static VASTUrlMap emptyVideoClicks();

private:
    const char* rootName_;
    UrlPlace urls_;
};

class VASTVersion1Parser : public VASTDialectParser {
    RT_CLASS(VASTVersion1Parser, VASTDialectParser)
public:
    VASTVersion1Parser() : VASTDialectParser("VideoAdServingTemplate", UrlPlace::URLChildren) {}

protected:
    VASTAdList evaluateInLineElement(const VASTElement& element) const override;
    VASTAdList evaluateWrapperElement(const VASTElement& element) const override;
    VASTUrlMap evaluateVideoClicks(const VASTElement& element) const override;

    std::vector<std::string> evaluateImpression(const VASTElement& element) const;
    void evaluateVideoElement(const VASTElement& element, VASTAdElement& ad) const;
    /// Reads the children an inline ad and a wrapper share; false for any other child.
    bool evaluateAdChild(const VASTElement& child, VASTAdElement& ad) const;
    /// The trimmed texts of the element's children named "URL".
    static std::vector<std::string> urlChildren(const VASTElement& element);
};

class VASTVersion2Parser : public VASTDialectParser {
    RT_CLASS(VASTVersion2Parser, VASTDialectParser)
public:
    VASTVersion2Parser() : VASTDialectParser("VAST", UrlPlace::OwnText) {}
    /// A "VAST" root of version 2 or later.
    bool isParsable(const VASTElement& root) const override;

    /// Every " " replaced by "%20".
    static std::string fixUrlString(std::string_view text);

protected:
    VASTAdList evaluateInLineElement(const VASTElement& element) const override;
    VASTAdList evaluateWrapperElement(const VASTElement& element) const override;
    VASTUrlMap evaluateVideoClicks(const VASTElement& element) const override;

    VASTAdList evaluateCreatives(const VASTElement& element) const;
    rt::Ref<VASTAdElement> evaluateCreative(const VASTElement& element) const;
    rt::Ref<VASTAdElement> evaluateLinear(const VASTElement& element) const;
};

}  // namespace zid
