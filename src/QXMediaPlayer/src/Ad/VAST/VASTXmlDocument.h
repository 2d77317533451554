#pragma once
// The XML policy ad documents are read under, stricter than pugixml's own defaults:
//  - at most kMaxBytes (1 MiB) of text, which must be valid UTF-8 (no overlong forms,
//    surrogates or code points above U+10FFFF); a bad byte fails the document before it
//    is parsed;
//  - any DOCTYPE fails the document (an ad answer has no business declaring entities);
//  - the document must be well-formed where pugixml is lenient: exactly one root
//    element and nothing but blank text, comments and processing instructions beside
//    it; "&" only as one of the five predefined entities or a character reference to a
//    legal character; no attribute twice on one element; no control character outside
//    tab, line feed and carriage return; no "<" inside an attribute value;
//  - elements nest at most kMaxDepth (64) levels;
//  - comments and processing instructions are not kept; CDATA reads as text and blank
//    text between elements is dropped, so an element's first child is its first element
//    or non-blank text.
#include <QXMediaPlayer/Ad/VAST/VASTElement.h>

#include <pugixml.hpp>

#include <bit>
#include <cstddef>
#include <string>
#include <string_view>

namespace zid {

class VASTXmlDocument {
public:
    static constexpr std::size_t kMaxBytes = 1u << 20;
    static constexpr int kMaxDepth = 64;

    /// Parses the text under the policy; false (and why in error()) when it is refused.
    bool load(std::string_view text);
    pugi::xml_node root() const { return document_.document_element(); }
    /// The root as the dialect readers see it.
    VASTElement rootElement() const { return VASTElement::of(document_.document_element().internal_object()); }
    const std::string& error() const { return error_; }

    /// The whole text content of the element: every text and CDATA piece below it, in
    /// document order, joined (text split by CDATA sections or comments reads as one).
    static std::string textOf(pugi::xml_node element);
    /// textOf without whitespace and line breaks at either end.
    static std::string trimmedTextOf(pugi::xml_node element);
    /// The text without whitespace and line breaks at either end.
    static std::string trimmed(std::string_view text) { return std::string(trimmedView(text)); }
    static std::string_view trimmedView(std::string_view text);

    /// True for a handle to no node. pugixml's handles are one pointer each, and all
    /// their members, the test for null too, are calls into the shared library; this
    /// one costs nothing.
    static bool isNull(pugi::xml_node node) { return std::bit_cast<void*>(node) == nullptr; }

private:
    static const char* soleText(pugi::xml_node element);
    static std::string joinedText(pugi::xml_node element);
    bool fail(std::string why);
    bool checkText(std::string_view text);

    pugi::xml_document document_;
    std::string error_;
};

/// True when the bytes are valid UTF-8.
bool isValidUTF8(std::string_view text);

}  // namespace zid
