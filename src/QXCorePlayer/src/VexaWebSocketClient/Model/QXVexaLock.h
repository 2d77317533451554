#pragma once
// Models of the content locks the media server can report.

#include <mutex>
#include <optional>
#include <string>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaModel.h>
#include <rt/Property.h>

namespace zid {

/// A model class that adds one property of its own to Base: its value, kept here, and
/// its entry in the model (its name, and the value as a model value, nil while unset).
/// The class built on it names the accessors and declares RT_CLASS over Base.
template <class Base, class T, rt::KeyName Name> class QXVexaOwnProperty : public Base {
public:
    using Base::Base;
    std::vector<std::string> propertyNames() const override { return {Name.text}; }
    rt::Value modelValue(const std::string& name) const override {
        if (name == Name.text) return asModelValue(value_);
        return Base::modelValue(name);
    }

protected:
    const T& ownValue() const { return value_; }
    void setOwnValue(T value) { value_ = std::move(value); }

private:
    template <class U> static rt::Value asModelValue(const std::optional<U>& value) {
        return value ? rt::Value(*value) : rt::Value();
    }
    static rt::Value asModelValue(const rt::Value& value) { return value; }

    T value_{};
};

class QXVexaLock : public QXVexaOwnProperty<QXVexaModel, std::optional<std::string>, "lockName"> {
    RT_CLASS(QXVexaLock, QXVexaModel)
public:
    QXVexaLock() = default;
    explicit QXVexaLock(std::optional<std::string> name) { setOwnValue(std::move(name)); }
    static rt::Ref<QXVexaLock> lockWithName(std::optional<std::string> name);

    const std::optional<std::string>& lockName() const { return ownValue(); }
    void setLockName(std::optional<std::string> name) { setOwnValue(std::move(name)); }
};

/// A lock with one property of its own besides the lock's name.
template <class T, rt::KeyName Name> using QXVexaLockWith = QXVexaOwnProperty<QXVexaLock, T, Name>;

class QXVexaAgeLock : public QXVexaLockWith<std::optional<rt::Date>, "maximumBirthDate"> {
    RT_CLASS(QXVexaAgeLock, QXVexaLock)
public:
    using QXVexaOwnProperty::QXVexaOwnProperty;
    std::optional<rt::Date> maximumBirthDate() const { return ownValue(); }
    void setMaximumBirthDate(std::optional<rt::Date> date) { setOwnValue(date); }
};

class QXVexaHashLock : public QXVexaLockWith<std::optional<std::string>, "authenticationURL"> {
    RT_CLASS(QXVexaHashLock, QXVexaLock)
public:
    using QXVexaOwnProperty::QXVexaOwnProperty;
    const std::optional<std::string>& authenticationURL() const { return ownValue(); }
    void setAuthenticationURL(std::optional<std::string> url) { setOwnValue(std::move(url)); }
};

class QXVexaGeoLock : public QXVexaLockWith<rt::Value, "hasLimit"> {
    RT_CLASS(QXVexaGeoLock, QXVexaLock)
public:
    using QXVexaOwnProperty::QXVexaOwnProperty;
    /// 1 when the lock carries a limit of at least 1, else 0; nil until set.
    const rt::Value& hasLimit() const { return ownValue(); }
    void setHasLimit(rt::Value value) { setOwnValue(std::move(value)); }
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
