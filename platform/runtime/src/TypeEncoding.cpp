#include <rt/TypeEncoding.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <rt/Selector.h>
#include <rt/Value.h>

namespace rt::encoding {

namespace {

struct Layout {
    std::size_t size;
    std::size_t align;
};

struct StructRegistry {
    std::mutex mutex;
    std::unordered_map<std::string, Layout> layouts;
};

StructRegistry& structs() {
    static auto* r = new StructRegistry();
    return *r;
}

/// Length of the first complete code in text (qualifiers included); 0 when malformed.
std::size_t codeLength(std::string_view text);

std::size_t closing(std::string_view text, char open, char close) {
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == open) ++depth;
        else if (text[i] == close && --depth == 0) return i + 1;
    }
    return 0;
}

std::size_t codeLength(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::string_view("rnNoORV").find(text[i]) != std::string_view::npos) ++i;
    if (i >= text.size()) return 0;
    switch (text[i]) {
    case '{': { auto n = closing(text.substr(i), '{', '}'); return n ? i + n : 0; }
    case '(': { auto n = closing(text.substr(i), '(', ')'); return n ? i + n : 0; }
    case '[': { auto n = closing(text.substr(i), '[', ']'); return n ? i + n : 0; }
    case '^': { auto n = codeLength(text.substr(i + 1)); return n ? i + 1 + n : 0; }
    case '@':
        if (i + 1 < text.size() && text[i + 1] == '"') {
            auto end = text.find('"', i + 2);
            return end == std::string_view::npos ? 0 : end + 1;
        }
        if (i + 1 < text.size() && text[i + 1] == '?') return i + 2;
        return i + 1;
    default: return i + 1;
    }
}

Layout scalarLayout(char c) {
    switch (c) {
    case 'c': case 'C': case 'B': return {1, 1};
    case 's': case 'S': return {2, 2};
    case 'i': case 'I': case 'l': case 'L': case 'f': return {4, 4};
    case 'q': case 'Q': case 'd': return {8, 8};
    case '*': case '^': return {sizeof(void*), alignof(void*)};
    case '#': return {sizeof(const Class*), alignof(const Class*)};
    case ':': return {sizeof(Selector), alignof(Selector)};
    case '@': return {sizeof(Value), alignof(Value)};
    default: return {0, 1};
    }
}

Layout layoutOf(std::string_view code);

// A structure written out with its fields ("{Range=QQ}") is laid out as C would.
Layout fieldsLayout(std::string_view fields) {
    std::size_t size = 0, align = 1;
    while (!fields.empty()) {
        auto n = codeLength(fields);
        if (n == 0) return {0, 1};
        auto field = layoutOf(fields.substr(0, n));
        if (field.size == 0) return {0, 1};
        size = (size + field.align - 1) / field.align * field.align + field.size;
        align = std::max(align, field.align);
        fields.remove_prefix(n);
    }
    return {(size + align - 1) / align * align, align};
}

Layout layoutOf(std::string_view code) {
    code = stripQualifiers(code);
    if (code.empty()) return {0, 1};
    if (code[0] == '{') {
        {
            auto& r = structs();
            std::lock_guard lock(r.mutex);
            auto it = r.layouts.find(std::string(code));
            if (it != r.layouts.end()) return it->second;
        }
        auto eq = code.find('=');
        if (eq == std::string_view::npos || code.back() != '}') return {0, 1};
        return fieldsLayout(code.substr(eq + 1, code.size() - eq - 2));
    }
    return scalarLayout(code[0]);
}

}  // namespace

std::size_t codeLengthOf(std::string_view text) { return codeLength(text); }

std::string_view stripQualifiers(std::string_view code) {
    while (!code.empty() && std::string_view("rnNoORV").find(code.front()) != std::string_view::npos)
        code.remove_prefix(1);
    return code;
}

Kind kindOf(std::string_view code) {
    code = stripQualifiers(code);
    if (code.empty()) return Kind::Unknown;
    switch (code[0]) {
    case 'v': return Kind::Void;
    case '@': return Kind::Object;
    case '#': return Kind::Class;
    case ':': return Kind::Selector;
    case '*': return Kind::CString;
    case '^': return Kind::Pointer;
    case '{': return Kind::Struct;
    case 'c': case 'C': case 's': case 'S': case 'i': case 'I': case 'l': case 'L':
    case 'q': case 'Q': case 'f': case 'd': case 'B':
        return code.size() == 1 ? Kind::Number : Kind::Unknown;
    default: return Kind::Unknown;
    }
}

std::size_t sizeOf(std::string_view code) { return layoutOf(code).size; }
std::size_t alignOf(std::string_view code) { return layoutOf(code).align; }

void registerStruct(const std::string& code, std::size_t size, std::size_t align) {
    auto& r = structs();
    std::lock_guard lock(r.mutex);
    r.layouts[code] = Layout{size, align};
}

std::string typeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

}  // namespace rt::encoding
