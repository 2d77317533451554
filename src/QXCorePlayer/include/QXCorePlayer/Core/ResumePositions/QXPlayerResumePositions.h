#pragma once
// Where playback of a content URL stopped, kept across runs in the user defaults so
// that playing the URL again continues there.
//
// Entries are keyed by a SHA-256 digest of the whole URL (long URLs never share a key),
// the store keeps at most `capacity()` of them (the least recently stored go first), and
// the defaults file is written at most once a second: a position stored sooner waits in
// memory and is written when the second is over. Reads see waiting positions at once.
#include <fnd/Clock.h>
#include <fnd/RunLoop.h>
#include <fnd/UserDefaults.h>
#include <media/Time.h>

#include <map>
#include <optional>
#include <string>

namespace zid {

class QXPlayerResumePositions : public rt::Object {
    RT_CLASS(QXPlayerResumePositions, rt::Object)
public:
    /// The defaults entry that holds every position.
    static constexpr const char* kDefaultsKey = "QXPlayerResumePositions";
    static constexpr std::size_t kDefaultCapacity = 500;
    static constexpr double kWriteInterval = 1.0;

    explicit QXPlayerResumePositions(rt::Ref<fnd::UserDefaults> defaults = nullptr,
                                     std::size_t capacity = kDefaultCapacity);
    ~QXPlayerResumePositions() override;

    /// The shared store over the standard user defaults.
    static rt::Ref<QXPlayerResumePositions> defaultPositions();
    /// Replaces the shared store (tests point it at a defaults file of their own).
    static void setDefaultPositions(rt::Ref<QXPlayerResumePositions> positions);

    /// Stores the time for the URL (empty URL: nothing).
    void storeResumePosition(media::Time time, const std::string& url);
    /// The stored time, or the invalid time.
    media::Time resumePositionForURL(const std::string& url);
    void removeResumePositionForURL(const std::string& url);
    /// Writes waiting positions now.
    void flush();

    static std::string keyForURL(const std::string& url);
    std::size_t capacity() const { return capacity_; }
    /// How many times the defaults were written (for callers that watch the cost).
    int writeCount() const { return writes_; }

private:
    void load();
    void scheduleWrite();
    void write();

    rt::Ref<fnd::UserDefaults> defaults_;
    std::size_t capacity_;
    bool loaded_ = false;
    // key -> (sequence of the last store, archive)
    std::map<std::string, std::pair<std::int64_t, rt::Dictionary>> entries_;
    std::int64_t sequence_ = 0;
    bool dirty_ = false;
    std::optional<double> lastWrite_;
    rt::Ref<fnd::Timer> writeTimer_;
    int writes_ = 0;
};

}  // namespace zid
