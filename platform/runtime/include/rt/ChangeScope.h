#pragma once
// Announces a change of one or more keys around a block of code, whatever way the
// block is left:
//
//     void List::removeAll() {
//         rt::ChangeScope scope(*this, {"isEmpty", "count"});  // will isEmpty, will count
//         items_.clear();                                      // may throw
//     }                                                        // did count, did isEmpty
//
// The wills go out in the order given, the dids in reverse, so scopes nest like
// parentheses and observers of several keys see a balanced sequence. A key is
// announced whether or not the class declared it manual (this is how manual keys are
// announced). Key names must outlive the scope (literals and typed keys' names do).
// When an observer throws from a did, the remaining dids still go out and the first
// exception is rethrown, unless the scope is being left by an exception already.

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace rt {

class Object;

class ChangeScope {
public:
    ChangeScope(Object& object, std::initializer_list<std::string_view> keys);
    ChangeScope(Object& object, std::string_view key) : ChangeScope(object, {key}) {}
    ~ChangeScope() noexcept(false);

    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

private:
    std::string_view key(std::size_t i) const { return i < small_.size() ? small_[i] : more_[i - small_.size()]; }
    void didChange(std::size_t announced) noexcept(false);

    Object& object_;
    std::array<std::string_view, 4> small_{};
    std::vector<std::string_view> more_;
    std::size_t count_ = 0;
    int uncaught_;
};

}  // namespace rt
