#include "Ad/VAST/VASTXmlDocument.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <memory>
#include <unordered_set>
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
    // A reference is short: look for its ";" in the next twelve bytes only.
    std::size_t semi = at + 1, last = std::min(text.size(), at + 13);
    while (semi < last && text[semi] != ';') ++semi;
    if (semi >= last) return 0;
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

bool VASTXmlDocument::fail(std::string why) {
    error_ = std::move(why);
    document_.reset();
    return false;
}

bool VASTXmlDocument::load(std::string_view text) {
    error_.clear();
    document_.reset();
    // XML allows one byte-order mark before the document; ad servers that write their
    // answers with a text editor's defaults send one.
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    if (!checkText(text)) return false;
    pugi::xml_parse_result result = document_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    if (!result) return fail(std::string("not well-formed XML: ") + result.description());
    return true;
}

namespace {

// Byte classes of the byte check: control bytes are refused, bytes of 0x80 and above
// start a UTF-8 sequence.
enum : unsigned char { kPlain = 0, kControl, kHigh };

struct ByteClasses {
    unsigned char of[256];
    ByteClasses() {
        for (int c = 0; c < 256; ++c) of[c] = kPlain;
        for (int c = 0; c < 0x20; ++c) of[c] = kControl;
        of[static_cast<unsigned char>('\t')] = of[static_cast<unsigned char>('\n')] = of[static_cast<unsigned char>('\r')] = kPlain;
        for (int c = 0x80; c < 256; ++c) of[c] = kHigh;
    }
};
const ByteClasses kClasses;

// The length of the UTF-8 sequence at p (0 when it is malformed).
std::size_t utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    unsigned char c = *p;
    int extra;
    unsigned long cp;
    if (c >= 0xC2 && c <= 0xDF) extra = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) extra = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) extra = 3, cp = c & 0x07;
    else return 0;
    if (end - p <= extra) return 0;
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return static_cast<std::size_t>(extra) + 1;
}

struct NameBytes {
    bool of[256];
    NameBytes() {
        for (int c = 0; c < 256; ++c) of[c] = true;
        for (char c : std::string_view(" \t\n\r=/><\"'")) of[static_cast<unsigned char>(c)] = false;
    }
};
const NameBytes kNameBytes;

// The index of the first byte at or after i that is a control byte (below 0x20 other
// than tab, line feed and carriage return) or 0x80 and above, sixteen bytes at a time.
std::size_t skipAscii(const unsigned char* bytes, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    while (i + 16 <= n) {
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        // Signed: bytes of 0x80 and above read as negative, so they are "below" 0x20 too.
        __m128i low = _mm_cmplt_epi8(b, space);
        __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, tab), _mm_cmpeq_epi8(b, lf)), _mm_cmpeq_epi8(b, cr));
        int mask = _mm_movemask_epi8(_mm_andnot_si128(blank, low));
        if (mask) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < n && kClasses.of[bytes[i]] != kControl && kClasses.of[bytes[i]] != kHigh) ++i;
    return i;
}

// The index of the first of the bytes a, b or c at or after i (n when none is).
std::size_t findAny(const unsigned char* bytes, std::size_t i, std::size_t n, char a, char b, char c) {
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    while (i + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
        int mask = _mm_movemask_epi8(hit);
        if (mask) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < n && bytes[i] != static_cast<unsigned char>(a) && bytes[i] != static_cast<unsigned char>(b) &&
           bytes[i] != static_cast<unsigned char>(c))
        ++i;
    return i;
}

bool isNameByte(char c) { return kNameBytes.of[static_cast<unsigned char>(c)]; }

// The names of one start tag's attributes; a tag with many of them is indexed.
class AttributeNames {
public:
    AttributeNames() {}  // the inline slots are written before they are read
    bool add(std::string_view name) {
        if (count_ < kInline) {
            for (std::size_t k = 0; k < count_; ++k)
                if (name.size() == sizes_[k] && std::memcmp(name.data(), starts_[k], sizes_[k]) == 0) return false;
            starts_[count_] = name.data();
            sizes_[count_++] = name.size();
            return true;
        }
        if (!many_) {
            many_ = std::make_unique<std::unordered_set<std::string_view>>();
            for (std::size_t k = 0; k < kInline; ++k) many_->emplace(starts_[k], sizes_[k]);
        }
        return many_->insert(name).second;
    }

private:
    static constexpr std::size_t kInline = 16;
    const char* starts_[kInline];
    std::size_t sizes_[kInline];
    std::size_t count_ = 0;
    std::unique_ptr<std::unordered_set<std::string_view>> many_;
};

// The bytes alone: no control character and valid UTF-8, the ASCII runs sixteen bytes
// at a time. Every byte the markup scan below passes over has been through this.
const char* byteError(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = bytes + text.size();
    for (std::size_t i = 0; (i = skipAscii(bytes, i, text.size())) < text.size();) {
        if (kClasses.of[bytes[i]] == kControl) return "the document holds a control character";
        std::size_t length = utf8SequenceLength(bytes + i, end);
        if (!length) return "the document is not valid UTF-8";
        i += length;
    }
    return nullptr;
}

// The markup of the text, once its bytes are known good: DOCTYPE, references, text or
// a second element beside the root, "<" in attribute values, repeated attributes and
// the nesting depth (counted here, so a hostile document is refused before any tree is
// built). Text runs and attribute values are crossed to their next "<" or "&" sixteen
// bytes at a time. Each step returns false with the reason in error.
class PolicyScan {
public:
    explicit PolicyScan(std::string_view text)
        : text_(text), bytes_(reinterpret_cast<const unsigned char*>(text.data())), n_(text.size()) {}

    bool run();
    std::string error;

private:
    bool refuse(std::string why) {
        error = std::move(why);
        return false;
    }
    bool reference(std::size_t& at);
    bool markup();
    // Markup that is skipped whole up to its terminator: a comment, CDATA, a
    // processing instruction.
    bool skippedSection(std::size_t contentFrom, std::string_view terminator, const char* unterminated);
    bool endTag();
    bool startTag();
    bool attribute(std::size_t& j, AttributeNames& names);
    bool attributeValue(std::size_t& j);

    std::string_view text_;
    const unsigned char* bytes_;
    std::size_t n_;
    std::size_t i_ = 0;
    int depth_ = 0;
    bool rootSeen_ = false;
};

bool PolicyScan::run() {
    while (i_ < n_) {
        if (depth_ > 0) {
            i_ = findAny(bytes_, i_, n_, '<', '&', '<');
            if (i_ >= n_) break;
            if (text_[i_] == '&' ? !reference(i_) : !markup()) return false;
        } else if (isBlank(text_[i_])) {
            ++i_;
        } else if (text_[i_] != '<') {
            return refuse("text outside the root element");
        } else if (!markup()) {
            return false;
        }
    }
    if (!rootSeen_) return refuse("the document has no root element");
    return true;
}

bool PolicyScan::reference(std::size_t& at) {
    std::size_t length = referenceLength(text_, at);
    if (!length) return refuse("an undeclared or bare \"&\" reference");
    at += length;
    return true;
}

bool PolicyScan::skippedSection(std::size_t contentFrom, std::string_view terminator, const char* unterminated) {
    std::size_t close = text_.find(terminator, contentFrom);
    if (close == std::string_view::npos) return refuse(unterminated);
    i_ = close + terminator.size();
    return true;
}

// At a "<": the next byte tells the kind of markup.
bool PolicyScan::markup() {
    char next = i_ + 1 < n_ ? text_[i_ + 1] : '\0';
    if (next == '!') {
        if (startsWith(text_, i_, "<!--")) return skippedSection(i_ + 4, "-->", "an unterminated comment");
        if (startsWith(text_, i_, "<![CDATA[")) {
            if (depth_ == 0) return refuse("a CDATA section outside the root element");
            return skippedSection(i_ + 9, "]]>", "an unterminated CDATA section");
        }
        if (startsWith(text_, i_, "<!DOCTYPE")) return refuse("the document declares a DOCTYPE");
        return refuse("unexpected markup declaration");
    }
    if (next == '?') return skippedSection(i_ + 2, "?>", "an unterminated processing instruction");
    if (next == '/') return endTag();
    return startTag();
}

bool PolicyScan::endTag() {
    // An end tag is short: a byte loop finds its ">" sooner than a call out.
    std::size_t close = i_ + 2;
    while (close < n_ && text_[close] != '>') ++close;
    if (close >= n_ || depth_ == 0) return refuse("an unmatched end tag");
    --depth_;
    i_ = close + 1;
    return true;
}

bool PolicyScan::startTag() {
    if (depth_ == 0 && rootSeen_) return refuse("a second root element");
    rootSeen_ = true;
    std::size_t j = i_ + 1;
    while (j < n_ && isNameByte(text_[j])) ++j;  // the element's name
    if (j == i_ + 1) return refuse("a malformed start tag");
    AttributeNames names;
    bool selfClosing = false;
    for (;;) {
        std::size_t before = j;
        while (j < n_ && isBlank(text_[j])) ++j;
        if (j >= n_) return refuse("an unterminated start tag");
        if (text_[j] == '>') break;
        if (text_[j] == '/' && j + 1 < n_ && text_[j + 1] == '>') {
            selfClosing = true;
            ++j;
            break;
        }
        if (j == before) return refuse("a malformed start tag");
        if (!attribute(j, names)) return false;
    }
    if (!selfClosing && ++depth_ > VASTXmlDocument::kMaxDepth)
        return refuse("elements nest deeper than " + std::to_string(VASTXmlDocument::kMaxDepth) + " levels");
    i_ = j + 1;
    return true;
}

// name = "value" (or 'value'), with j at the name; j ends past the closing quote.
bool PolicyScan::attribute(std::size_t& j, AttributeNames& names) {
    std::size_t nameStart = j;
    while (j < n_ && isNameByte(text_[j])) ++j;
    if (j == nameStart) return refuse("a malformed start tag");
    if (!names.add(text_.substr(nameStart, j - nameStart))) return refuse("a repeated attribute on an element");
    while (j < n_ && isBlank(text_[j])) ++j;
    if (j >= n_ || text_[j] != '=') return refuse("an attribute without a value");
    ++j;
    while (j < n_ && isBlank(text_[j])) ++j;
    if (j >= n_ || (text_[j] != '"' && text_[j] != '\'')) return refuse("an unquoted attribute value");
    return attributeValue(j);
}

bool PolicyScan::attributeValue(std::size_t& j) {
    char quote = text_[j++];
    for (;;) {
        j = findAny(bytes_, j, n_, quote, '<', '&');
        if (j >= n_) return refuse("an unterminated attribute value");
        if (text_[j] == quote) break;
        if (text_[j] == '<') return refuse("\"<\" inside an attribute value");
        if (!reference(j)) return false;
    }
    ++j;
    return true;
}

}  // namespace

bool VASTXmlDocument::checkText(std::string_view text) {
    if (text.size() > kMaxBytes)
        return fail("the document is larger than " + std::to_string(kMaxBytes) + " bytes");
    if (const char* why = byteError(text)) return fail(why);
    PolicyScan scan(text);
    if (!scan.run()) return fail(std::move(scan.error));
    return true;
}

// The text of an element that holds one text node and nothing else (the usual case: a
// URL, a duration), or nothing when it holds more or other nodes.
const char* VASTXmlDocument::soleText(pugi::xml_node element) {
    pugi::xml_node first = element.first_child();
    if (isNull(first) || !isNull(first.next_sibling())) return nullptr;
    pugi::xml_node_type type = first.type();
    return type == pugi::node_pcdata || type == pugi::node_cdata ? first.value() : nullptr;
}

std::string VASTXmlDocument::textOf(pugi::xml_node element) {
    if (const char* text = soleText(element)) return text;
    return joinedText(element);
}

std::string VASTXmlDocument::trimmedTextOf(pugi::xml_node element) {
    if (const char* text = soleText(element)) return trimmed(text);
    return trimmed(joinedText(element));
}

std::string VASTXmlDocument::joinedText(pugi::xml_node element) {
    pugi::xml_node first = element.first_child();
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

std::string_view VASTXmlDocument::trimmedView(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

bool isValidUTF8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        std::size_t length = utf8SequenceLength(p, end);
        if (!length) return false;
        p += length;
    }
    return true;
}

}  // namespace zid
