#pragma once
// Content locks a viewer may have to answer before playback goes on.
#include <rt/KVC.h>
#include <rt/Object.h>
#include <rt/Value.h>

#include <cstdint>
#include <string>

namespace zid {

/// Lock types: 1 password, 2 age, 3 birth date, 4 geographic, 5 geographic limit,
/// 6 hash, 7 IP address, 8 referrer, 9 viewer hours.
class CPMediaSourceLock : public rt::Object {
    RT_CLASS(CPMediaSourceLock, rt::Object)
public:
    explicit CPMediaSourceLock(long lockType = 0) : lockType_(lockType) {}
    static rt::Ref<CPMediaSourceLock> lockWithType(long lockType) { return rt::make<CPMediaSourceLock>(lockType); }
    long lockType() const { return lockType_; }
    std::string description() const override;

    static void describe(rt::ClassBuilder<CPMediaSourceLock>& c) {
        c.readonly("lockType", &CPMediaSourceLock::lockType);
    }

private:
    long lockType_;
};

class CPMediaSourceAgeLock : public CPMediaSourceLock {
    RT_CLASS(CPMediaSourceAgeLock, CPMediaSourceLock)
public:
    explicit CPMediaSourceAgeLock(unsigned long minAge) : CPMediaSourceLock(2), minAge_(minAge) {}
    static rt::Ref<CPMediaSourceAgeLock> lockWithMinAge(unsigned long minAge) {
        return rt::make<CPMediaSourceAgeLock>(minAge);
    }
    unsigned long minAge() const { return minAge_; }
    /// At least minAge years.
    bool checkAge(unsigned long age) const { return age >= minAge_; }

private:
    unsigned long minAge_;
};

class CPMediaSourceBirthdayLock : public CPMediaSourceLock {
    RT_CLASS(CPMediaSourceBirthdayLock, CPMediaSourceLock)
public:
    explicit CPMediaSourceBirthdayLock(rt::Date maxBirthdate) : CPMediaSourceLock(3), maxBirthdate_(maxBirthdate) {}
    static rt::Ref<CPMediaSourceBirthdayLock> lockWithMaxBirthdate(rt::Date maxBirthdate) {
        return rt::make<CPMediaSourceBirthdayLock>(maxBirthdate);
    }
    /// The latest birth date that is old enough.
    rt::Date maxBirthdate() const { return maxBirthdate_; }
    /// Born on or before maxBirthdate.
    bool checkBirthdate(const rt::Date& birthdate) const { return maxBirthdate_.timeIntervalSince(birthdate) >= 0; }

private:
    rt::Date maxBirthdate_;
};

class CPMediaSourceHashLock : public CPMediaSourceLock {
    RT_CLASS(CPMediaSourceHashLock, CPMediaSourceLock)
public:
    explicit CPMediaSourceHashLock(std::string url) : CPMediaSourceLock(6), url_(std::move(url)) {}
    static rt::Ref<CPMediaSourceHashLock> lockWithURL(std::string url) {
        return rt::make<CPMediaSourceHashLock>(std::move(url));
    }
    /// Where the viewer obtains the hash.
    const std::string& url() const { return url_; }

private:
    std::string url_;
};

}  // namespace zid
