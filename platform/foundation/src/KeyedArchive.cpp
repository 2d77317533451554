#include <fnd/KeyedArchive.h>

#include <mutex>
#include <set>
#include <string>

#include "KeyedArchiveFormat.h"

namespace fnd {

namespace {
std::mutex registryMutex;
std::set<std::string, std::less<>>& registry() {
    static std::set<std::string, std::less<>> names;
    return names;
}
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

void registerCodingClass(const rt::Class& cls) {
    std::lock_guard lock(registryMutex);
    registry().insert(cls.name());
}

namespace archive {

const rt::Class* codingClassNamed(std::string_view name) {
    {
        std::lock_guard lock(registryMutex);
        if (registry().find(name) == registry().end()) return nullptr;
    }
    return rt::Class::named(name);
}

std::string base64Encode(const rt::Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        unsigned v = (unsigned(data[i]) << 16) | (unsigned(data[i + 1]) << 8) | data[i + 2];
        out += Alphabet[(v >> 18) & 63];
        out += Alphabet[(v >> 12) & 63];
        out += Alphabet[(v >> 6) & 63];
        out += Alphabet[v & 63];
    }
    if (i < data.size()) {
        unsigned v = unsigned(data[i]) << 16;
        if (i + 1 < data.size()) v |= unsigned(data[i + 1]) << 8;
        out += Alphabet[(v >> 18) & 63];
        out += Alphabet[(v >> 12) & 63];
        out += i + 1 < data.size() ? Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<rt::Data> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    rt::Data out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        int pad = 0;
        unsigned v = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            char c = text[i + j];
            if (c == '=' && i + 4 == text.size() && j >= 2) {
                ++pad;
                v <<= 6;
                continue;
            }
            int s = sextet(c);
            if (s < 0 || pad) return std::nullopt;
            v = (v << 6) | unsigned(s);
        }
        out.push_back(std::uint8_t(v >> 16));
        if (pad < 2) out.push_back(std::uint8_t(v >> 8));
        if (pad < 1) out.push_back(std::uint8_t(v));
    }
    return out;
}

}  // namespace archive
}  // namespace fnd
