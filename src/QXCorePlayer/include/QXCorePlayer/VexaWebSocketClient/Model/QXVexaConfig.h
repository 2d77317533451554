#pragma once
// The media-server client's configuration: who is watching (application, device,
// network, credentials, unlock answers). It travels as the "parameters" of every
// subscribe and in the client's "connect" message. Every accessor is thread-safe.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaModel.h>

namespace zid {

class QXVexaConfig : public QXVexaModel {
    RT_CLASS(QXVexaConfig, QXVexaModel)
public:
    /// What the initial values are made from.
    struct Environment {
        std::string deviceModel;
        std::string systemVersion;
        std::optional<std::string> bundleIdentifier;
        int networkStatus = 0;  // 0 not reachable, 1 cellular, 2 Wi-Fi
        std::optional<std::string> radioAccessTechnology;
        std::optional<std::string> rpin;
        /// The current device, network and host application.
        static Environment current();
    };

    /// Initial values from the current environment.
    QXVexaConfig();
    explicit QXVexaConfig(const Environment& environment);

#define QX_VEXA_STRING(getter, setter)                                                          \
    std::optional<std::string> getter() const { return stringValue(#getter); }                  \
    void setter(std::optional<std::string> value) {                                             \
        setValue(#getter, value ? rt::Value(std::move(*value)) : rt::Value());                  \
    }
#define QX_VEXA_NUMBER(getter, setter)                             \
    rt::Value getter() const { return value(#getter); }             \
    void setter(const rt::Value& value) { setNumber(#getter, value); }

    QX_VEXA_STRING(apiKey, setApiKey)
    QX_VEXA_NUMBER(apiKeyVersion, setApiKeyVersion)
    QX_VEXA_STRING(appBundle, setAppBundle)
    QX_VEXA_NUMBER(appID, setAppID)
    QX_VEXA_NUMBER(appVersion, setAppVersion)
    QX_VEXA_NUMBER(brandID, setBrandID)
    QX_VEXA_STRING(buildNumber, setBuildNumber)
    QX_VEXA_STRING(buildTime, setBuildTime)
    QX_VEXA_STRING(rpin, setRpin)
    QX_VEXA_STRING(rsid, setRsid)
    QX_VEXA_STRING(userID, setUserID)
    QX_VEXA_STRING(sessionID, setSessionID)
    QX_VEXA_STRING(appFlavor, setAppFlavor)
    QX_VEXA_STRING(deviceType, setDeviceType)
    QX_VEXA_STRING(deviceOS, setDeviceOS)
    QX_VEXA_STRING(phoneType, setPhoneType)
    QX_VEXA_STRING(referrer, setReferrer)
    QX_VEXA_STRING(flashVer, setFlashVer)
    QX_VEXA_STRING(channelPassword, setChannelPassword)
    QX_VEXA_STRING(channelHash, setChannelHash)
    QX_VEXA_NUMBER(preferredBitrate, setPreferredBitrate)
    /// The highlight a client for a highlight asks for ("highlightId"); nil otherwise.
    QX_VEXA_STRING(highlightID, setHighlightID)
#undef QX_VEXA_STRING
#undef QX_VEXA_NUMBER

    std::int64_t clientType() const { return clientType_; }
    void setClientType(std::int64_t type) { clientType_ = type; }
    std::int64_t connectionType() const { return connectionType_; }
    void setConnectionType(std::int64_t type) { connectionType_ = type; }

    /// A copy with the same values.
    rt::Ref<QXVexaConfig> copy() const;

    // Connection types and their texts and bit rates.
    /// 1 on Wi-Fi, the radio's code on a cellular link, 0 when not reachable.
    static std::int64_t connectionTypeFor(int networkStatus, const std::optional<std::string>& radioAccessTechnology);
    /// The connection type of the current network.
    static std::int64_t currentConnectionType();
    /// 2 to 12 for the eleven radio technologies; 0 for nothing or any other name.
    static std::int64_t connectionTypeFromRadioAccessTechnology(const std::optional<std::string>& technology);
    /// Bits per second: 400000 for unknown types.
    static rt::Value preferredBitrateFormConnectionType(std::int64_t type);
    /// "wifi", "3g", "4g" or "unknown".
    static std::string stringFromConnectionType(std::int64_t type);
    /// "tracker" for 1, "viewer" otherwise.
    static std::string stringFromClientType(std::int64_t type);

    std::vector<std::string> propertyNames() const override;
    std::map<std::string, std::string> propertyMap() const override;
    rt::Value modelValue(const std::string& name) const override;
    /// The model's dictionary with "type" added, "clientType" removed and
    /// "connectionType" as text.
    rt::Dictionary dictionaryRepresentation() const override;

private:
    rt::Value value(const char* name) const;
    std::optional<std::string> stringValue(const char* name) const;
    void setValue(const char* name, rt::Value value);
    void setNumber(const char* name, const rt::Value& value);

    mutable std::mutex mutex_;
    std::map<std::string, rt::Value, std::less<>> values_;
    // Read and set from any thread on their own, outside the lock of the values.
    std::atomic<std::int64_t> clientType_ = 0;
    std::atomic<std::int64_t> connectionType_ = 0;
};

}  // namespace zid
