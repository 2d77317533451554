#include <rt/Error.h>

#include <rt/Format.h>

namespace rt {

Error::Error(std::string domain, long long code, Dictionary userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

Ref<Error> Error::make(std::string domain, long long code, Dictionary userInfo) {
    return rt::make<Error>(std::move(domain), code, std::move(userInfo));
}

Ref<Error> Error::withDescription(std::string domain, long long code, std::string description) {
    return make(std::move(domain), code, Dictionary{{LocalizedDescriptionKey, std::move(description)}});
}

std::string Error::localizedDescription() const {
    Value text = userInfo_.get(LocalizedDescriptionKey);
    if (text.isString()) return text.string();
    return format("The operation couldn't be completed. (%@ error %lld.)", domain_, code_);
}

Ref<Error> Error::underlyingError() const { return userInfo_.get(UnderlyingErrorKey).as<Error>(); }

bool Error::isEqual(const Object& other) const {
    auto* e = dynamic_cast<const Error*>(&other);
    return e && (e == this || (e->domain_ == domain_ && e->code_ == code_ && e->userInfo_.isEqual(userInfo_)));
}

std::size_t Error::hash() const { return std::hash<std::string>()(domain_) ^ std::hash<long long>()(code_); }

std::string Error::description() const {
    return format("Error Domain=%@ Code=%lld \"%@\"", domain_, code_, localizedDescription());
}

}  // namespace rt
