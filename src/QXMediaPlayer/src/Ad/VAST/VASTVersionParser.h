#pragma once
// The two dialects of VAST. A version parser is made fresh for every document; the
// readers shared by both dialects live in the base, the dialect decides where an
// element's URLs stand (VAST 1 in "URL" children, VAST 2 in the element's own text).
#include <QXMediaPlayer/Ad/VAST/VASTParser.h>

#include <pugixml.hpp>

#include <cstdint>
#include <string>

namespace zid {

class VASTVersionParser : public rt::Object {
    RT_CLASS(VASTVersionParser, rt::Object)
public:
    virtual bool isParsable(pugi::xml_node root) const = 0;
    virtual VASTAdList parse(pugi::xml_node root) const = 0;

    /// The text without whitespace and line breaks at either end.
    static std::string trimUrlString(std::string_view text);
    /// The leading decimal integer of the text (after blanks and a sign), saturated to
    /// 32 bits; 0 when the text does not start with a number.
    static std::int32_t leadingInt32(std::string_view text);
    /// True when the node is an element of that name. Called for every child the
    /// readers look at, so inline and without a call out to strcmp.
    static bool isNamed(pugi::xml_node node, const char* name) {
        return node.type() == pugi::node_element && sameText(node.name(), name);
    }
    static bool sameText(const char* a, const char* b) {
        while (*a && *a == *b) ++a, ++b;
        return *a == *b;
    }
    /// The first child that is an element, whatever its name.
    static pugi::xml_node firstElementChild(pugi::xml_node node);

protected:
    /// The ads of every child of the root, in order.
    VASTAdList evaluateVastElement(pugi::xml_node root, const char* rootName) const;
    /// An "Ad" gives what its first element child gives when that is "InLine" or
    /// "Wrapper"; anything else gives no ad.
    VASTAdList evaluateAdElement(pugi::xml_node element) const;
    virtual VASTAdList evaluateInLineElement(pugi::xml_node element) const = 0;
    virtual VASTAdList evaluateWrapperElement(pugi::xml_node element) const = 0;

    VASTUrlMap evaluateTrackingEvents(pugi::xml_node element) const;
    void evaluateTrackingEvent(pugi::xml_node element, VASTUrlMap& dictionary) const;
    virtual VASTUrlMap evaluateVideoClicks(pugi::xml_node element) const = 0;
    std::vector<rt::Ref<VASTMediaFile>> evaluateMediaFiles(pugi::xml_node element) const;

    /// Adds the URLs of a "Tracking" element to the set.
    virtual void addTrackingUrls(pugi::xml_node tracking, VASTUrlSet& urls) const = 0;
    /// The address of a "MediaFile" element, absent when it has none.
    virtual std::optional<std::string> mediaFileUrl(pugi::xml_node mediaFile) const = 0;

    static VASTUrlMap emptyVideoClicks();
};

class VASTVersion1Parser : public VASTVersionParser {
    RT_CLASS(VASTVersion1Parser, VASTVersionParser)
public:
    bool isParsable(pugi::xml_node root) const override;
    VASTAdList parse(pugi::xml_node root) const override;

protected:
    VASTAdList evaluateInLineElement(pugi::xml_node element) const override;
    VASTAdList evaluateWrapperElement(pugi::xml_node element) const override;
    VASTUrlMap evaluateVideoClicks(pugi::xml_node element) const override;
    void addTrackingUrls(pugi::xml_node tracking, VASTUrlSet& urls) const override;
    std::optional<std::string> mediaFileUrl(pugi::xml_node mediaFile) const override;

    std::vector<std::string> evaluateImpression(pugi::xml_node element) const;
    void evaluateVideoElement(pugi::xml_node element, VASTAdElement& ad) const;
    /// Reads the children an inline ad and a wrapper share; false for any other child.
    bool evaluateAdChild(pugi::xml_node child, VASTAdElement& ad) const;
    /// The trimmed texts of the element's children named "URL".
    static std::vector<std::string> urlChildren(pugi::xml_node element);
};

class VASTVersion2Parser : public VASTVersionParser {
    RT_CLASS(VASTVersion2Parser, VASTVersionParser)
public:
    bool isParsable(pugi::xml_node root) const override;
    VASTAdList parse(pugi::xml_node root) const override;

    /// Every " " replaced by "%20".
    static std::string fixUrlString(std::string_view text);

protected:
    VASTAdList evaluateInLineElement(pugi::xml_node element) const override;
    VASTAdList evaluateWrapperElement(pugi::xml_node element) const override;
    VASTUrlMap evaluateVideoClicks(pugi::xml_node element) const override;
    void addTrackingUrls(pugi::xml_node tracking, VASTUrlSet& urls) const override;
    std::optional<std::string> mediaFileUrl(pugi::xml_node mediaFile) const override;

    VASTAdList evaluateCreatives(pugi::xml_node element) const;
    rt::Ref<VASTAdElement> evaluateCreative(pugi::xml_node element) const;
    rt::Ref<VASTAdElement> evaluateLinear(pugi::xml_node element) const;
};

}  // namespace zid
