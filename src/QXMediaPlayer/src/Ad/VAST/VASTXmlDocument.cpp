#include "Ad/VAST/VASTXmlDocument.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zid {

namespace {

constexpr unsigned kParseOptions =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_wconv_attribute;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.size() - at >= prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

bool isXmlChar(unsigned long c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the reference starting at text[at] == '&' (through its ';'), or 0 when
// it is not one of the predefined entities or a reference to a legal character.
std::size_t referenceLength(std::string_view text, std::size_t at) {
    std::size_t semi = text.find(';', at + 1);
    if (semi == std::string_view::npos || semi - at > 12) return 0;
    std::string_view name = text.substr(at + 1, semi - at - 1);
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") return semi - at + 1;
    if (name.size() < 2 || name[0] != '#') return 0;
    bool hex = name[1] == 'x';
    std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    unsigned long value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return 0;
        value = value * (hex ? 16 : 10) + static_cast<unsigned long>(d);
        if (value > 0x10FFFF) return 0;
    }
    return isXmlChar(value) ? semi - at + 1 : 0;
}

}  // namespace

bool isValidUTF8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        unsigned long cp;
        if (c >= 0xC2 && c <= 0xDF) extra = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) extra = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) extra = 3, cp = c & 0x07;
        else return false;
        if (end - p <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        p += extra + 1;
    }
    return true;
}

bool VASTXmlDocument::fail(std::string why) {
    error_ = std::move(why);
    document_.reset();
    return false;
}

bool VASTXmlDocument::load(std::string_view text) {
    error_.clear();
    document_.reset();
    if (!checkText(text)) return false;
    pugi::xml_parse_result result = document_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    if (!result) return fail(std::string("not well-formed XML: ") + result.description());
    return checkTree();
}

// One pass over the raw text for what pugixml lets through: size, encoding, control
// characters, DOCTYPE, references, text or a second element beside the root, "<" in
// attribute values and the nesting depth (counted here, so a hostile document is
// refused before any tree is built).
bool VASTXmlDocument::checkText(std::string_view text) {
    if (text.size() > kMaxBytes)
        return fail("the document is larger than " + std::to_string(kMaxBytes) + " bytes");
    if (!isValidUTF8(text)) return fail("the document is not valid UTF-8");
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && !isBlank(c)) return fail("the document holds a control character");

    int depth = 0;
    bool rootSeen = false;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == '<') {
            if (startsWith(text, i, "<!--")) {
                std::size_t end = text.find("-->", i + 4);
                if (end == std::string_view::npos) return fail("an unterminated comment");
                i = end + 3;
            } else if (startsWith(text, i, "<![CDATA[")) {
                if (depth == 0) return fail("a CDATA section outside the root element");
                std::size_t end = text.find("]]>", i + 9);
                if (end == std::string_view::npos) return fail("an unterminated CDATA section");
                i = end + 3;
            } else if (startsWith(text, i, "<!DOCTYPE")) {
                return fail("the document declares a DOCTYPE");
            } else if (startsWith(text, i, "<!")) {
                return fail("unexpected markup declaration");
            } else if (startsWith(text, i, "<?")) {
                std::size_t end = text.find("?>", i + 2);
                if (end == std::string_view::npos) return fail("an unterminated processing instruction");
                i = end + 2;
            } else if (startsWith(text, i, "</")) {
                std::size_t end = text.find('>', i + 2);
                if (end == std::string_view::npos || depth == 0) return fail("an unmatched end tag");
                --depth;
                i = end + 1;
            } else {
                if (depth == 0 && rootSeen) return fail("a second root element");
                rootSeen = true;
                char quote = 0;
                std::size_t j = i + 1;
                for (; j < n; ++j) {
                    char d = text[j];
                    if (quote) {
                        if (d == quote) quote = 0;
                        else if (d == '<') return fail("\"<\" inside an attribute value");
                        else if (d == '&') {
                            std::size_t length = referenceLength(text, j);
                            if (!length) return fail("an undeclared or bare \"&\" reference");
                            j += length - 1;
                        }
                    } else if (d == '"' || d == '\'') {
                        quote = d;
                    } else if (d == '>' || d == '<') {
                        break;
                    }
                }
                if (j >= n || text[j] != '>') return fail("an unterminated start tag");
                if (text[j - 1] != '/' && ++depth > kMaxDepth)
                    return fail("elements nest deeper than " + std::to_string(kMaxDepth) + " levels");
                i = j + 1;
            }
        } else if (c == '&') {
            if (depth == 0) return fail("text outside the root element");
            std::size_t length = referenceLength(text, i);
            if (!length) return fail("an undeclared or bare \"&\" reference");
            i += length;
        } else {
            if (depth == 0 && !isBlank(c)) return fail("text outside the root element");
            ++i;
        }
    }
    if (!rootSeen) return fail("the document has no root element");
    return true;
}

// pugixml keeps a repeated attribute; a well-formed document never has one.
bool VASTXmlDocument::checkTree() {
    std::vector<std::string_view> names;
    for (pugi::xml_node node = document_.first_child(); node;) {
        if (node.type() == pugi::node_element && node.first_attribute() && node.first_attribute().next_attribute()) {
            names.clear();
            for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) names.emplace_back(a.name());
            std::sort(names.begin(), names.end());
            if (std::adjacent_find(names.begin(), names.end()) != names.end())
                return fail(std::string("a repeated attribute on <") + node.name() + ">");
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    return true;
}

std::string VASTXmlDocument::textOf(pugi::xml_node element) {
    pugi::xml_node first = element.first_child();
    if (!first) return {};
    if (!first.next_sibling() && (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata))
        return first.value();
    std::string text;
    for (pugi::xml_node node = first; node && node != element;) {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != element && !node.next_sibling()) node = node.parent();
        if (node != element) node = node.next_sibling();
    }
    return text;
}

std::string VASTXmlDocument::trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

}  // namespace zid
