#pragma once
// Splits one fuzz input into the pieces a target needs, so that every byte of the
// input stays meaningful and a reproducer is one plain file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace zidfuzz {

/// Says that the current input got past the target's own reading of it and reached the
/// code under test in the shape the target means. Run with ZID_FUZZ_REACH set in the
/// environment, the target prints "zidfuzz: reached" once for each such input, after
/// libFuzzer's "Running: <file>", so scripts/fuzz.sh can name every seed that stops
/// short: one written in another format than its target reads never tests what it
/// was committed for. Every target calls it.
inline void reached() {
    static const bool report = std::getenv("ZID_FUZZ_REACH") != nullptr;
    if (report) std::fputs("zidfuzz: reached\n", stderr);
}

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    /// One byte (0 when none is left).
    std::uint8_t byte() {
        if (rest_.empty()) {
            short_ = true;
            return 0;
        }
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
    /// zidfuzz::reached(), unless the input ran out of bytes the target read one by one.
    void reached() const {
        if (!short_) zidfuzz::reached();
    }

private:
    std::string_view rest_;
    bool short_ = false;
};

}  // namespace zidfuzz
