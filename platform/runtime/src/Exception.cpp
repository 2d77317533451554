#include <rt/Exception.h>

#include <rt/Format.h>

namespace rt {

Exception::Exception(std::string name, std::string reason, Dictionary userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)),
      what_(name_ + ": " + reason_) {}

void raiseMustOverride(const std::string& method, const Object& object) {
    throw Exception(Exception::InternalInconsistency,
                    format("You must override %@ in a subclass of %@", method, object.className()));
}

void raiseMustSubclass(const std::string& className) {
    throw Exception(Exception::InternalInconsistency, format("You must subclass to use %@", className));
}

}  // namespace rt
