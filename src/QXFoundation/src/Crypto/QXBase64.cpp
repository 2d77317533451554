#include "Crypto/QXBase64.h"

#include <array>

namespace zid {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeReverseTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table) entry = kInvalid;
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr auto kReverse = makeReverseTable();

constexpr bool isSkipped(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '=';
}

}  // namespace

std::string QXBase64::base64Encoding(const std::optional<rt::Data>& data) {
    if (!data || data->empty()) return {};
    const rt::Data& in = *data;
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const unsigned v = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8 | in[i + 2];
        out.push_back(kAlphabet[v >> 18 & 63]);
        out.push_back(kAlphabet[v >> 12 & 63]);
        out.push_back(kAlphabet[v >> 6 & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    const std::size_t rest = in.size() - i;
    if (rest == 1) {
        const unsigned v = unsigned(in[i]) << 16;
        out.push_back(kAlphabet[v >> 18 & 63]);
        out.push_back(kAlphabet[v >> 12 & 63]);
        out += "==";
    } else if (rest == 2) {
        const unsigned v = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8;
        out.push_back(kAlphabet[v >> 18 & 63]);
        out.push_back(kAlphabet[v >> 12 & 63]);
        out.push_back(kAlphabet[v >> 6 & 63]);
        out.push_back('=');
    }
    return out;
}

std::optional<rt::Data> QXBase64::dataWithBase64EncodedString(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    rt::Data out;
    out.reserve(text->size() / 4 * 3 + 3);
    unsigned group = 0;
    int symbols = 0;
    for (unsigned char c : *text) {
        if (c > 0x7F) return std::nullopt;
        if (isSkipped(c)) continue;
        const std::uint8_t v = kReverse[c];
        if (v == kInvalid) return std::nullopt;
        group = group << 6 | v;
        if (++symbols == 4) {
            out.push_back(static_cast<std::uint8_t>(group >> 16));
            out.push_back(static_cast<std::uint8_t>(group >> 8));
            out.push_back(static_cast<std::uint8_t>(group));
            group = 0;
            symbols = 0;
        }
    }
    switch (symbols) {
        case 1: return std::nullopt;  // six bits cannot make a byte
        case 2: out.push_back(static_cast<std::uint8_t>(group >> 4)); break;
        case 3:
            out.push_back(static_cast<std::uint8_t>(group >> 10));
            out.push_back(static_cast<std::uint8_t>(group >> 2));
            break;
        default: break;
    }
    return out;
}

}  // namespace zid
