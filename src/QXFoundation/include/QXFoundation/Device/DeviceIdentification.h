#pragma once
// The persistent device identifier and the device pin derived from it.
//
// Both are read from the keychain first, then from the user defaults of older
// installations, and otherwise made (the identifier from the device's vendor
// identifier, the pin from the identifier) and written to the keychain, so they stay the
// same for the installation. A keychain that cannot be read is not taken for an empty
// one: the answer is then nothing, and the stored values are left alone.

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <QXFoundation/Keychain/QXKeychain.h>
#include <dev/Device.h>
#include <fnd/UserDefaults.h>

namespace zid {

class QXDeviceIdentity : public rt::Object {
    RT_CLASS(QXDeviceIdentity, rt::Object)
public:
    static constexpr const char* IdentifierKey = "QuorvexUID";
    static constexpr const char* RpinKey = "QuorvexRpin";

    /// The identity of the device object, made on first use (thread-safe) over the
    /// default keychain and the standard user defaults, and kept with the device.
    static rt::Ref<QXDeviceIdentity> forDevice(const rt::Ref<dev::Device>& device);

    QXDeviceIdentity(rt::Ref<dev::Device> device, rt::Ref<QXKeychain> keychain, rt::Ref<fnd::UserDefaults> defaults);

    /// The salt of the device pin: bytes the deployment supplies (64 in the service's
    /// own deployment), used as they are. Empty until set.
    static void setRpinSalt(rt::Data salt);
    static rt::Data rpinSalt();

    /// The identifier; two first calls racing each other get the same one.
    std::optional<std::string> deviceIdentifier();
    /// Stores the identifier in the keychain; nothing removes the item.
    bool setDeviceIdentifier(const std::optional<std::string>& identifier);
    /// The pin, "0." and 40 lower-case hexadecimal digits.
    std::optional<std::string> rpin();
    bool setRpin(const std::optional<std::string>& pin);
    /// A fresh pin from the salt and the identifier, not stored; nothing without an identifier.
    std::optional<std::string> generateRpin();

private:
    using Completion = std::function<void(std::optional<std::string>& value)>;
    /// The text stored under key in the keychain; when there is none, the legacy copy in
    /// the user defaults (or nothing) as complete leaves it, complete making and storing
    /// what is missing. Nothing, and complete not called, while the keychain cannot be read.
    std::optional<std::string> storedOr(const char* key, const Completion& complete);

    rt::Weak<dev::Device> device_;  // the device keeps its identity, not the other way round
    rt::Ref<QXKeychain> keychain_;
    rt::Ref<fnd::UserDefaults> defaults_;
    std::recursive_mutex identifierMutex_;
    std::mutex rpinMutex_;
};

// The same as calls on the device object (its identity, see above).
std::optional<std::string> qxDeviceIdentifier(const rt::Ref<dev::Device>& device);
void setQxDeviceIdentifier(const rt::Ref<dev::Device>& device, const std::optional<std::string>& identifier);
std::optional<std::string> qxRpin(const rt::Ref<dev::Device>& device);
void setQxRpin(const rt::Ref<dev::Device>& device, const std::optional<std::string>& pin);
std::optional<std::string> generateRpin(const rt::Ref<dev::Device>& device);

}  // namespace zid
