#include <rt/Format.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

namespace rt {

namespace {

// Formats one conversion of a printf directive (flags, width and precision already checked
// to hold only safe characters) with a typed value.
std::string printOne(const std::string& directive, char conversion, const Value& v) {
    std::string f = directive;
    char buffer[512];
    int n = 0;
    switch (conversion) {
        case 'd':
        case 'i': f += "lld"; n = std::snprintf(buffer, sizeof buffer, f.c_str(), v.longLongValue()); break;
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            f += "ll";
            f += conversion;
            unsigned long long u = v.isNumber() ? v.number()->unsignedLongLongValue() : static_cast<unsigned long long>(v.longLongValue());
            if (v.isNumber() && !v.number()->isUnsigned() && !v.number()->isFloatingPoint())
                u = static_cast<unsigned long long>(v.number()->longLongValue());
            n = std::snprintf(buffer, sizeof buffer, f.c_str(), u);
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': f += conversion; n = std::snprintf(buffer, sizeof buffer, f.c_str(), v.doubleValue()); break;
        case 'c': {
            f += 'c';
            int c = v.isString() ? (v.string().empty() ? 0 : static_cast<unsigned char>(v.string()[0])) : static_cast<int>(v.longLongValue());
            n = std::snprintf(buffer, sizeof buffer, f.c_str(), c);
            break;
        }
        case 'p': {
            f += 'p';
            const void* p = v.isObject() ? static_cast<const void*>(v.object().get()) : nullptr;
            n = std::snprintf(buffer, sizeof buffer, f.c_str(), p);
            break;
        }
        case 's':
        case '@': {
            // Width and precision apply to the text; long texts bypass the buffer.
            std::string text = v.description();
            if (directive == "%") return text;
            f += 's';
            n = std::snprintf(nullptr, 0, f.c_str(), text.c_str());
            std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
            std::snprintf(out.data(), out.size() + 1, f.c_str(), text.c_str());
            return out;
        }
        default: return {};
    }
    if (n < 0) return {};
    return std::string(buffer, static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer - 1);
}

bool isFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\''; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// Copies the digits of a width or precision into `directive`, at most three of them so no field asks for an
/// unbounded size; `i` moves past all of them.
void copyCountDigits(std::string_view format, std::size_t& i, std::string& directive) {
    std::size_t digits = 0;
    while (i < format.size() && isDigit(format[i])) {
        if (++digits <= 3) directive += format[i];
        ++i;
    }
}

}  // namespace

std::string formatv(std::string_view format, const Value* args, std::size_t count) {
    std::string out;
    out.reserve(format.size() + 16 * count);
    std::size_t next = 0;
    auto take = [&]() -> Value { return next < count ? args[next++] : Value(); };
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%') {
            // The literal text up to the next directive, in one piece.
            std::size_t percent = format.find('%', i);
            if (percent == std::string_view::npos) percent = format.size();
            out.append(format.substr(i, percent - i));
            i = percent;
            continue;
        }
        std::size_t start = i++;
        // The common plain directives, written straight into the text.
        if (i < format.size() && (format[i] == '@' || format[i] == 's') && next < count) {
            const Value& v = args[next++];
            if (v.isString()) out += v.string();
            else out += v.description();
            ++i;
            continue;
        }
        if (i < format.size() && (format[i] == 'd' || format[i] == 'i') && next < count && args[next].isNumber()) {
            char digits[24];
            auto end = std::to_chars(digits, digits + sizeof digits, args[next++].longLongValue()).ptr;
            out.append(digits, end);
            ++i;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::string directive = "%";
        while (i < format.size() && isFlag(format[i])) directive += format[i++];
        // width: digits or '*' (an argument)
        if (i < format.size() && format[i] == '*') {
            directive += std::to_string(std::min<long long>(take().longLongValue(), 400));
            ++i;
        } else {
            copyCountDigits(format, i, directive);
        }
        if (i < format.size() && format[i] == '.') {
            directive += '.';
            ++i;
            if (i < format.size() && format[i] == '*') {
                directive += std::to_string(std::max<long long>(0, std::min<long long>(take().longLongValue(), 400)));
                ++i;
            } else {
                copyCountDigits(format, i, directive);
            }
        }
        // length modifiers are read and dropped: the value knows its own type
        while (i < format.size() && (format[i] == 'h' || format[i] == 'l' || format[i] == 'q' || format[i] == 'L' ||
                                     format[i] == 'z' || format[i] == 'j' || format[i] == 't'))
            ++i;
        if (i >= format.size()) {
            out.append(format.substr(start));  // a dangling '%' prints as written
            break;
        }
        char conversion = format[i++];
        switch (conversion) {
            case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'f': case 'F': case 'e': case 'E':
            case 'g': case 'G': case 'a': case 'A': case 'c': case 'p': case 's': case '@': {
                bool missing = next >= count;
                Value v = take();
                if (missing) out += "(null)";
                else out += printOne(directive, conversion, v);
                break;
            }
            case 'n': take(); break;  // never writes through a pointer
            default: out.append(format.substr(start, i - start)); break;
        }
    }
    return out;
}

}  // namespace rt
