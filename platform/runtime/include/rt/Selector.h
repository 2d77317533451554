#pragma once
// Selectors: interned message names ("objectDidChange:", "askWithDefault:answer:").
// Two selectors with the same text are the same selector; comparing and hashing cost a
// pointer. The null selector names no message.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace rt {

class Selector {
public:
    Selector() = default;
    /// Interns the name (once per distinct text, for the life of the process).
    explicit Selector(std::string_view name);

    const std::string& name() const;
    bool isNull() const { return name_ == nullptr; }
    /// The number of arguments the name calls for: one per ':'.
    std::size_t argumentCount() const;

    friend bool operator==(Selector a, Selector b) { return a.name_ == b.name_; }
    std::size_t hash() const { return std::hash<const void*>()(name_); }

private:
    const std::string* name_ = nullptr;
};

/// Shorthand for Selector(name).
inline Selector sel(std::string_view name) { return Selector(name); }

struct SelectorHash {
    std::size_t operator()(Selector s) const { return s.hash(); }
};

}  // namespace rt
