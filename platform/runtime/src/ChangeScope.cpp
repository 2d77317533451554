#include <rt/ChangeScope.h>

#include <exception>

#include <rt/Object.h>

namespace rt {

ChangeScope::ChangeScope(Object& object, std::initializer_list<std::string_view> keys)
    : object_(object), uncaught_(std::uncaught_exceptions()) {
    if (keys.size() > small_.size()) more_.reserve(keys.size() - small_.size());
    for (auto k : keys) {
        if (count_ < small_.size()) small_[count_] = k;
        else more_.push_back(k);
        ++count_;
    }
    std::size_t announced = 0;
    try {
        for (; announced < count_; ++announced) object_.willChangeValueForKey(key(announced));
    } catch (...) {
        // The keys already announced get their did, so observers stay balanced.
        try {
            didChange(announced);
        } catch (...) {
        }
        count_ = 0;
        throw;
    }
}

ChangeScope::~ChangeScope() noexcept(false) {
    if (count_ == 0) return;
    if (std::uncaught_exceptions() > uncaught_) {
        try {
            didChange(count_);
        } catch (...) {
            // leaving by an exception already: a second one would end the process
        }
        return;
    }
    didChange(count_);
}

void ChangeScope::didChange(std::size_t announced) noexcept(false) {
    std::exception_ptr first;
    for (std::size_t i = announced; i-- > 0;) {
        try {
            object_.didChangeValueForKey(key(i));
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

}  // namespace rt
