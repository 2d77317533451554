#pragma once
// What a host asks to play: a live channel or a recorded video by its identifier, with
// the unlock answers it knows in advance. A descriptor is its own copy and compares by
// identity, so it can key tables of prepared sessions.

#include <string>

#include <rt/KVC.h>
#include <rt/MainThread.h>
#include <rt/Property.h>

namespace zid {

class QXMediaDescriptor : public rt::Object {
    RT_CLASS(QXMediaDescriptor, rt::Object)
    RT_MAIN_THREAD_ONLY_CLASS;
private:
    std::string mediaID_;
    bool isChannel_ = false;
    std::string password_;  // empty: none
    std::string hashCode_;  // empty: none

public:
    static constexpr rt::Stored<&QXMediaDescriptor::mediaID_, "mediaID", rt::writable> mediaIDKey{};
    static constexpr rt::Stored<&QXMediaDescriptor::isChannel_, "isChannel", rt::writable> isChannelKey{};
    static constexpr rt::Stored<&QXMediaDescriptor::password_, "password", rt::writable> passwordKey{};
    static constexpr rt::Stored<&QXMediaDescriptor::hashCode_, "hashCode", rt::writable> hashCodeKey{};

    QXMediaDescriptor(std::string mediaID, bool isChannel) : mediaID_(std::move(mediaID)), isChannel_(isChannel) {}
    static rt::Ref<QXMediaDescriptor> liveDescriptorWithID(std::string mediaID);
    /// The same as liveDescriptorWithID.
    static rt::Ref<QXMediaDescriptor> channelDescriptorWithID(std::string mediaID);
    static rt::Ref<QXMediaDescriptor> recordedDescriptorWithID(std::string mediaID);

    const std::string& mediaID() const { RT_MAIN_THREAD_ONLY(); return mediaID_; }
    void setMediaID(std::string v) { RT_MAIN_THREAD_ONLY(); mediaIDKey.set(*this, std::move(v)); }
    bool isChannel() const { RT_MAIN_THREAD_ONLY(); return isChannel_; }
    void setIsChannel(bool v) { RT_MAIN_THREAD_ONLY(); isChannelKey.set(*this, v); }
    /// Equals isChannel; observers of "isLive" hear changes of "isChannel".
    bool isLive() const { RT_MAIN_THREAD_ONLY(); return isChannel_; }
    /// Empty when there is none.
    const std::string& password() const { RT_MAIN_THREAD_ONLY(); return password_; }
    void setPassword(std::string v) { RT_MAIN_THREAD_ONLY(); passwordKey.set(*this, std::move(v)); }
    const std::string& hashCode() const { RT_MAIN_THREAD_ONLY(); return hashCode_; }
    void setHashCode(std::string v) { RT_MAIN_THREAD_ONLY(); hashCodeKey.set(*this, std::move(v)); }

    /// The descriptor itself: a copy used as a table key finds the original's entry.
    rt::Ref<QXMediaDescriptor> copy() { RT_MAIN_THREAD_ONLY(); return selfAs<QXMediaDescriptor>(); }

    static void describe(rt::ClassBuilder<QXMediaDescriptor>& c);
};

}  // namespace zid
