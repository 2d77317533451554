#include <fnd/StringsFile.h>

#include "IcuText.h"

#include <algorithm>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unicode/unistr.h>

#include <fnd/Excerpt.h>

namespace fnd {

namespace {

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBareChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '-' || c == '$' || c == ':' || c == '/';
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<StringsTable> parse(StringsFileError* error) {
        StringsTable table;
        while (true) {
            if (!skipSpaceAndComments()) return fail(error);
            if (atEnd()) break;
            std::string key;
            if (!readToken(key, "a key")) return fail(error);
            if (!skipSpaceAndComments()) return fail(error);
            std::string value;
            if (peek() == '=') {
                ++pos_;
                if (!skipSpaceAndComments()) return fail(error);
                if (!readToken(value, "a value after '='")) return fail(error);
                if (!skipSpaceAndComments()) return fail(error);
            } else {
                value = key;
            }
            if (peek() != ';') {
                // The key is the file's text: quote a bounded piece of it, cut between characters.
                message_ = "expected ';' after the entry for \"" + fnd::excerpt(key, 60) + "\"";
                return fail(error);
            }
            ++pos_;
            table[std::move(key)] = std::move(value);
        }
        return table;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }

    std::optional<StringsTable> fail(StringsFileError* error) {
        if (error) {
            error->line = 1;
            for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i)
                if (text_[i] == '\n') ++error->line;
            error->message = message_;
        }
        return std::nullopt;
    }

    bool skipSpaceAndComments() {
        while (!atEnd()) {
            char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (!atEnd() && text_[pos_] != '\n') ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
                std::size_t end = text_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) {
                    message_ = "unterminated comment";
                    return false;
                }
                pos_ = end + 2;
            } else {
                break;
            }
        }
        return true;
    }

    bool readToken(std::string& out, const char* what) {
        if (peek() == '"') return readQuoted(out);
        std::size_t start = pos_;
        while (!atEnd() && isBareChar(text_[pos_])) ++pos_;
        if (pos_ == start) {
            message_ = std::string("expected ") + what;
            return false;
        }
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    // Reads \uXXXX (the 'u' already consumed); answers the UTF-16 unit or -1.
    long readHex4() {
        if (pos_ + 4 > text_.size()) return -1;
        long v = 0;
        for (int i = 0; i < 4; ++i) {
            int d = hexDigit(text_[pos_ + i]);
            if (d < 0) return -1;
            v = v * 16 + d;
        }
        pos_ += 4;
        return v;
    }

    bool readQuoted(std::string& out) {
        ++pos_;  // opening quote
        while (true) {
            if (atEnd()) {
                message_ = "unterminated string";
                return false;
            }
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd()) {
                message_ = "unterminated string";
                return false;
            }
            char e = text_[pos_++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'a': out += '\a'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'v': out += '\v'; break;
                case 'u':
                case 'U': {
                    long unit = readHex4();
                    if (unit < 0) {
                        message_ = "bad \\u escape";
                        return false;
                    }
                    std::uint32_t cp = static_cast<std::uint32_t>(unit);
                    if (cp >= 0xD800 && cp <= 0xDBFF && pos_ + 1 < text_.size() && text_[pos_] == '\\' &&
                        (text_[pos_ + 1] == 'u' || text_[pos_ + 1] == 'U')) {
                        std::size_t save = pos_;
                        pos_ += 2;
                        long low = readHex4();
                        if (low >= 0xDC00 && low <= 0xDFFF)
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
                        else
                            pos_ = save;
                    }
                    appendUtf8(out, cp);
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        unsigned v = static_cast<unsigned>(e - '0');
                        for (int i = 0; i < 2 && !atEnd() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++i)
                            v = v * 8 + static_cast<unsigned>(text_[pos_++] - '0');
                        appendUtf8(out, v);
                    } else {
                        out += e;  // \" \' \\ and any other character stand for themselves
                    }
                    break;
            }
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string message_;
};

// UTF-16 files carry a byte-order mark; everything else is read as UTF-8.
std::string toUtf8(std::string_view bytes) {
    if (bytes.size() >= 2) {
        auto b0 = static_cast<unsigned char>(bytes[0]);
        auto b1 = static_cast<unsigned char>(bytes[1]);
        bool le = b0 == 0xFF && b1 == 0xFE;
        bool be = b0 == 0xFE && b1 == 0xFF;
        if (le || be) {
            icu::UnicodeString u;
            for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
                auto lo = static_cast<unsigned char>(bytes[le ? i : i + 1]);
                auto hi = static_cast<unsigned char>(bytes[le ? i + 1 : i]);
                u.append(static_cast<char16_t>((hi << 8) | lo));
            }
            return icutext::toUtf8(u);
        }
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

}  // namespace

std::optional<StringsTable> parseStringsFile(std::string_view text, StringsFileError* error) {
    std::string utf8 = toUtf8(text);
    return Parser(utf8).parse(error);
}

std::optional<StringsTable> loadStringsFile(const std::string& path, StringsFileError* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = StringsFileError{0, "cannot open " + path};
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseStringsFile(bytes, error);
}

}  // namespace fnd
