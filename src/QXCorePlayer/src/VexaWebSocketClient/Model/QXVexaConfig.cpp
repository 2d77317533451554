#include "QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h"

#include "VexaWebSocketClient/Model/QXVexaApplicationInfo.h"
#include <QXFoundation/Device/DeviceConnectivity.h>
#include <QXFoundation/Device/DeviceIdentification.h>
#include <dev/Device.h>
#include <dev/TelephonyNetworkInfo.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

namespace {

const std::vector<std::string>& declaredNames() {
    static const auto* names = new std::vector<std::string>{
        "apiKey",   "apiKeyVersion", "appBundle",  "appID",          "appVersion",     "brandID",
        "buildNumber", "buildTime",  "rpin",       "rsid",           "userID",         "sessionID",
        "appFlavor", "deviceType",   "deviceOS",   "phoneType",      "referrer",       "flashVer",
        "channelPassword", "channelHash", "preferredBitrate", "clientType", "connectionType", "highlightID"};
    return *names;
}

}  // namespace

QXVexaConfig::Environment QXVexaConfig::Environment::current() {
    Environment environment;
    auto device = dev::Device::current();
    environment.deviceModel = device->model();
    environment.systemVersion = device->systemVersion();
    environment.bundleIdentifier = QXVexaApplicationInfo::current().bundleIdentifier;
    environment.networkStatus = zid::networkStatus(device);
    environment.radioAccessTechnology = zid::radioAccessTechnology(device);
    environment.rpin = zid::qxRpin(device);
    return environment;
}

QXVexaConfig::QXVexaConfig() : QXVexaConfig(Environment::current()) {}

QXVexaConfig::QXVexaConfig(const Environment& environment) {
    setAppFlavor("1");
    setDeviceType("mobile");
    setDeviceOS("iPhone");
    setPhoneType(rt::format("%@ %@ h264", environment.deviceModel, environment.systemVersion));
    setReferrer(environment.bundleIdentifier);
    connectionType_ = connectionTypeFor(environment.networkStatus, environment.radioAccessTechnology);
    setPreferredBitrate(preferredBitrateFormConnectionType(connectionType_));
    setRpin(environment.rpin);
}

rt::Ref<QXVexaConfig> QXVexaConfig::copy() const {
    auto other = rt::make<QXVexaConfig>(Environment{});
    std::lock_guard lock(mutex_);
    std::lock_guard otherLock(other->mutex_);
    other->values_ = values_;
    other->clientType_ = clientType_.load();
    other->connectionType_ = connectionType_.load();
    return other;
}

rt::Value QXVexaConfig::value(const char* name) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(std::string_view(name));
    return it == values_.end() ? rt::Value() : it->second;
}

std::optional<std::string> QXVexaConfig::stringValue(const char* name) const {
    rt::Value v = value(name);
    if (!v.isString()) return std::nullopt;
    return v.string();
}

void QXVexaConfig::setValue(const char* name, rt::Value value) {
    std::lock_guard lock(mutex_);
    if (value.isNil()) {
        values_.erase(std::string(name));
    } else {
        values_[name] = std::move(value);
    }
}

void QXVexaConfig::setNumber(const char* name, const rt::Value& value) {
    if (!value.isNil() && !value.isNumber())
        throw rt::Exception("InvalidArgumentException", std::string("QXVexaConfig: ") + name + " takes a number");
    setValue(name, value);
}

std::int64_t QXVexaConfig::connectionTypeFor(int networkStatus, const std::optional<std::string>& technology) {
    switch (networkStatus) {
        case 2: return 1;
        case 1: return connectionTypeFromRadioAccessTechnology(technology);
        default: return 0;
    }
}

std::int64_t QXVexaConfig::currentConnectionType() {
    auto device = dev::Device::current();
    return connectionTypeFor(networkStatus(device), radioAccessTechnology(device));
}

std::int64_t QXVexaConfig::connectionTypeFromRadioAccessTechnology(const std::optional<std::string>& technology) {
    if (!technology) return 0;
    static const std::pair<const char*, std::int64_t> table[] = {
        {dev::RadioAccessTechnologyGPRS, 2},         {dev::RadioAccessTechnologyEdge, 3},
        {dev::RadioAccessTechnologyWCDMA, 4},        {dev::RadioAccessTechnologyHSDPA, 5},
        {dev::RadioAccessTechnologyHSUPA, 6},        {dev::RadioAccessTechnologyCDMA1x, 7},
        {dev::RadioAccessTechnologyCDMAEVDORev0, 8}, {dev::RadioAccessTechnologyCDMAEVDORevA, 9},
        {dev::RadioAccessTechnologyCDMAEVDORevB, 10}, {dev::RadioAccessTechnologyeHRPD, 11},
        {dev::RadioAccessTechnologyLTE, 12}};
    for (const auto& [name, code] : table)
        if (*technology == name) return code;
    return 0;
}

rt::Value QXVexaConfig::preferredBitrateFormConnectionType(std::int64_t type) {
    switch (type) {
        case 1: case 12: return rt::Value(2000000);
        case 2: case 7: return rt::Value(120000);
        case 3: return rt::Value(240000);
        case 4: case 5: case 6: case 8: case 9: case 10: case 11: return rt::Value(750000);
        default: return rt::Value(400000);
    }
}

std::string QXVexaConfig::stringFromConnectionType(std::int64_t type) {
    if (type >= 2 && type <= 11) return "3g";
    if (type == 12) return "4g";
    if (type == 1) return "wifi";
    return "unknown";
}

std::string QXVexaConfig::stringFromClientType(std::int64_t type) { return type == 1 ? "tracker" : "viewer"; }

std::vector<std::string> QXVexaConfig::propertyNames() const { return declaredNames(); }

std::map<std::string, std::string> QXVexaConfig::propertyMap() const {
    return {{"appBundle", "applicationBundle"}, {"appID", "appId"},        {"brandID", "brandId"},
            {"userID", "userId"},               {"sessionID", "session"},  {"channelPassword", "password"},
            {"channelHash", "hash"},         {"highlightID", "highlightId"}};
}

rt::Value QXVexaConfig::modelValue(const std::string& name) const {
    if (name == "clientType") return rt::Value(clientType());
    if (name == "connectionType") return rt::Value(connectionType());
    return value(name.c_str());
}

rt::Dictionary QXVexaConfig::dictionaryRepresentation() const {
    rt::Dictionary dictionary = QXVexaModel::dictionaryRepresentation();
    dictionary.set("type", stringFromClientType(clientType()));
    dictionary.remove("clientType");
    dictionary.set("connectionType", stringFromConnectionType(connectionType()));
    return dictionary;
}

}  // namespace zid
