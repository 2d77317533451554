#pragma once
// Splits one fuzz input into the pieces a target needs, so that every byte of the
// input stays meaningful and a reproducer is one plain file.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zidfuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    /// One byte (0 when none is left).
    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    /// The text up to the next NUL (which is dropped), or all that is left.
    std::string_view field() {
        const std::size_t end = rest_.find('\0');
        std::string_view out = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return out;
    }
    std::string_view rest() {
        std::string_view out = rest_;
        rest_ = {};
        return out;
    }
    bool empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

}  // namespace zidfuzz
