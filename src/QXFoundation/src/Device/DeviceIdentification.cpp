#include <QXFoundation/Device/DeviceIdentification.h>

#include <QXFoundation/Log/QXLogger.h>
#include <sec/Digest.h>

namespace zid {
namespace {

constexpr const char* kIdentityAssociation = "QXDeviceIdentity";

std::mutex saltMutex;
rt::Data salt;

std::mutex identificationMutex;

}  // namespace

rt::Ref<QXDeviceIdentity> QXDeviceIdentity::forDevice(const rt::Ref<dev::Device>& device) {
    std::lock_guard lock(identificationMutex);
    if (auto identity = device->associatedObject(kIdentityAssociation).as<QXDeviceIdentity>()) return identity;
    auto identity = rt::make<QXDeviceIdentity>(device, QXKeychain::defaultKeychain(), fnd::UserDefaults::standard());
    device->setAssociatedObject(rt::Value(identity), kIdentityAssociation);
    return identity;
}

QXDeviceIdentity::QXDeviceIdentity(rt::Ref<dev::Device> device, rt::Ref<QXKeychain> keychain,
                                   rt::Ref<fnd::UserDefaults> defaults)
    : device_(std::move(device)), keychain_(std::move(keychain)), defaults_(std::move(defaults)) {}

void QXDeviceIdentity::setRpinSalt(rt::Data bytes) {
    std::lock_guard lock(saltMutex);
    salt = std::move(bytes);
}

rt::Data QXDeviceIdentity::rpinSalt() {
    std::lock_guard lock(saltMutex);
    return salt;
}

std::optional<std::string> QXDeviceIdentity::storedOr(const char* key, const Completion& complete) {
    QXKeychainReadStatus status{};
    rt::Value stored = keychain_->objectForKey(key, &status);
    if (status == QXKeychainReadStatus::Failed) {
        // The keychain could not be read. Making a new value now would overwrite the
        // real one as soon as the keychain works again.
        QXLog(QXKeychain::LogModule, staticClass(), 2, "%@ not available: the keychain cannot be read now", key);
        return std::nullopt;
    }
    if (stored.isString()) return stored.string();
    std::optional<std::string> value;
    rt::Value legacy = defaults_->objectForKey(key);
    if (legacy.isString()) value = legacy.string();
    complete(value);
    return value;
}

std::optional<std::string> QXDeviceIdentity::deviceIdentifier() {
    std::lock_guard lock(identifierMutex_);
    return storedOr(IdentifierKey, [this](std::optional<std::string>& value) {
        if (!value) {
            if (auto device = device_.lock()) value = device->identifierForVendor();
        }
        setDeviceIdentifier(value);
    });
}

bool QXDeviceIdentity::setDeviceIdentifier(const std::optional<std::string>& identifier) {
    std::lock_guard lock(identifierMutex_);
    return keychain_->setObject(identifier ? rt::Value(*identifier) : rt::Value(), IdentifierKey);
}

std::optional<std::string> QXDeviceIdentity::rpin() {
    std::lock_guard lock(rpinMutex_);
    return storedOr(RpinKey, [this](std::optional<std::string>& value) {
        if (!value) value = generateRpin();
        if (value) setRpin(value);
    });
}

bool QXDeviceIdentity::setRpin(const std::optional<std::string>& pin) {
    return keychain_->setObject(pin ? rt::Value(*pin) : rt::Value(), RpinKey);
}

std::optional<std::string> QXDeviceIdentity::generateRpin() {
    auto identifier = deviceIdentifier();
    if (!identifier) return std::nullopt;
    // The salt is raw bytes: it goes into the digest as it is, never through a text
    // decoding that could fail and leave every device with the same pin.
    rt::Data input = rpinSalt();
    input.insert(input.end(), identifier->begin(), identifier->end());
    return "0." + sec::toHex(sec::sha1(input));
}

std::optional<std::string> qxDeviceIdentifier(const rt::Ref<dev::Device>& device) {
    return QXDeviceIdentity::forDevice(device)->deviceIdentifier();
}
void setQxDeviceIdentifier(const rt::Ref<dev::Device>& device, const std::optional<std::string>& identifier) {
    QXDeviceIdentity::forDevice(device)->setDeviceIdentifier(identifier);
}
std::optional<std::string> qxRpin(const rt::Ref<dev::Device>& device) {
    return QXDeviceIdentity::forDevice(device)->rpin();
}
void setQxRpin(const rt::Ref<dev::Device>& device, const std::optional<std::string>& pin) {
    QXDeviceIdentity::forDevice(device)->setRpin(pin);
}
std::optional<std::string> generateRpin(const rt::Ref<dev::Device>& device) {
    return QXDeviceIdentity::forDevice(device)->generateRpin();
}

}  // namespace zid
