#pragma once
// What the facade's records of a subtitle and of a legible or audible choice share: the
// language tag, title and display name a host's own menu shows, each settable by the
// host. A record is made with its language tag and one of the two names; the other stays
// empty unless the host sets one. Equal only to itself. Like every object the facade
// hands out, a record is the main thread's: a setter called on another thread is refused.

#include <string>

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <rt/KVC.h>
#include <rt/MainThread.h>
#include <rt/Object.h>

namespace zid {

class QXMediaSelectionRecord : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(QXMediaSelectionRecord, rt::Object)
    RT_MAIN_THREAD_ONLY_CLASS;
public:
    std::string languageTag() const override { RT_MAIN_THREAD_ONLY(); return languageTag_; }
    void setLanguageTag(std::string v) {
        RT_MAIN_THREAD_ONLY();
        rt::MainThread::require(*this, "setLanguageTag");
        languageTag_ = std::move(v);
    }
    std::string title() const override { RT_MAIN_THREAD_ONLY(); return title_; }
    void setTitle(std::string v) {
        RT_MAIN_THREAD_ONLY();
        rt::MainThread::require(*this, "setTitle");
        title_ = std::move(v);
    }
    std::string displayName() const override { RT_MAIN_THREAD_ONLY(); return displayName_; }
    void setDisplayName(std::string v) {
        RT_MAIN_THREAD_ONLY();
        rt::MainThread::require(*this, "setDisplayName");
        displayName_ = std::move(v);
    }
    static void describe(rt::ClassBuilder<QXMediaSelectionRecord>& c) { c.mainThreadOnly(); }

protected:
    QXMediaSelectionRecord(std::string languageTag, std::string title, std::string displayName)
        : languageTag_(std::move(languageTag)), title_(std::move(title)), displayName_(std::move(displayName)) {}

private:
    std::string languageTag_, title_, displayName_;
};

}  // namespace zid
