#pragma once
// Models of the content locks the media server can report.

#include <mutex>
#include <optional>
#include <string>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaModel.h>

namespace zid {

class QXVexaLock : public QXVexaModel {
    RT_CLASS(QXVexaLock, QXVexaModel)
public:
    QXVexaLock() = default;
    explicit QXVexaLock(std::optional<std::string> name) : lockName_(std::move(name)) {}
    static rt::Ref<QXVexaLock> lockWithName(std::optional<std::string> name);

    const std::optional<std::string>& lockName() const { return lockName_; }
    void setLockName(std::optional<std::string> name) { lockName_ = std::move(name); }

    std::vector<std::string> propertyNames() const override { return {"lockName"}; }
    rt::Value modelValue(const std::string& name) const override;

private:
    std::optional<std::string> lockName_;
};

class QXVexaAgeLock : public QXVexaLock {
    RT_CLASS(QXVexaAgeLock, QXVexaLock)
public:
    using QXVexaLock::QXVexaLock;
    std::optional<rt::Date> maximumBirthDate() const { return maximumBirthDate_; }
    void setMaximumBirthDate(std::optional<rt::Date> date) { maximumBirthDate_ = date; }
    std::vector<std::string> propertyNames() const override { return {"maximumBirthDate"}; }
    rt::Value modelValue(const std::string& name) const override;

private:
    std::optional<rt::Date> maximumBirthDate_;
};

class QXVexaHashLock : public QXVexaLock {
    RT_CLASS(QXVexaHashLock, QXVexaLock)
public:
    using QXVexaLock::QXVexaLock;
    const std::optional<std::string>& authenticationURL() const { return authenticationURL_; }
    void setAuthenticationURL(std::optional<std::string> url) { authenticationURL_ = std::move(url); }
    std::vector<std::string> propertyNames() const override { return {"authenticationURL"}; }
    rt::Value modelValue(const std::string& name) const override;

private:
    std::optional<std::string> authenticationURL_;
};

class QXVexaGeoLock : public QXVexaLock {
    RT_CLASS(QXVexaGeoLock, QXVexaLock)
public:
    using QXVexaLock::QXVexaLock;
    /// 1 when the lock carries a limit of at least 1, else 0; nil until set.
    const rt::Value& hasLimit() const { return hasLimit_; }
    void setHasLimit(rt::Value value) { hasLimit_ = std::move(value); }
    std::vector<std::string> propertyNames() const override { return {"hasLimit"}; }
    rt::Value modelValue(const std::string& name) const override;

private:
    rt::Value hasLimit_;
};

#define QX_VEXA_PLAIN_LOCK(Name)                                             \
    class Name : public QXVexaLock {                                         \
        RT_CLASS(Name, QXVexaLock)                                           \
    public:                                                                  \
        using QXVexaLock::QXVexaLock;                                        \
        std::vector<std::string> propertyNames() const override { return {}; } \
    };
QX_VEXA_PLAIN_LOCK(QXVexaIPLock)
QX_VEXA_PLAIN_LOCK(QXVexaPasswordLock)
QX_VEXA_PLAIN_LOCK(QXVexaReferrerLock)
QX_VEXA_PLAIN_LOCK(QXVexaPlayerSDKLock)
#undef QX_VEXA_PLAIN_LOCK

}  // namespace zid
