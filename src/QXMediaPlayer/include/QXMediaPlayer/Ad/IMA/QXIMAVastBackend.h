#pragma once
// The ads layer's backend that plays real ads: it fetches the request's tag URL with a
// bounded HTTP client, reads the VAST answer (following wrappers), takes the ad's first
// video/mp4 file with an http or https address and, once its ads manager is started,
// plays it through the media layer in a player view inside the request's ad container,
// reporting the ad's events and hitting its impression and tracking URLs.
//
// Load failures (transfer, HTTP status, no VAST, no ad, no playable file, time-out) are
// loading errors; a media failure (or no first picture within kStartTimeout, or playback
// standing still for kStallTimeout) is a playing error, after which the manager resumes
// the content (when it had paused it) and reports all ads completed, as after a skip.
// Playback standing at the ad's last picture is its end, whether or not the engine said so.
// All ads completed is told once the ad's tracking hits have ended (at most one hit's
// time-out after the content was given back): a host that asks for its next ad on
// hearing it reaches the ad server after this ad's "complete".
#include <ima/Backend.h>
#include <net/HttpClient.h>

#include <set>

namespace zid {

class QXIMAVastFetch;

class QXIMAVastBackend : public ima::Backend, public std::enable_shared_from_this<QXIMAVastBackend> {
public:
    /// Seconds a started ad may take to show its first picture before it fails.
    static constexpr double kStartTimeout = 10;
    /// Seconds a showing ad's playback may stand still (not paused) before it fails.
    static constexpr double kStallTimeout = 10;

    /// nullptr: a client of its own, bounded like the ad fetch's (1 MiB bodies, 10-s
    /// time-out); give one to add trust anchors.
    explicit QXIMAVastBackend(rt::Ref<net::HttpClient> client = nullptr);
    ~QXIMAVastBackend() override;

    /// Makes a backend and installs it for the process.
    static std::shared_ptr<QXIMAVastBackend> install(rt::Ref<net::HttpClient> client = nullptr);

    const rt::Ref<net::HttpClient>& httpClient() const { return client_; }

    void requestAds(const rt::Ref<ima::AdsLoader>& loader, const rt::Ref<ima::AdsRequest>& request) override;

private:
    friend class QXIMAVastFetch;
    // The fetches (the library's own class) report here when done.
    void fetchFinished(QXIMAVastFetch& fetch);

    rt::Ref<net::HttpClient> client_;
    std::set<rt::Ref<QXIMAVastFetch>> fetches_;
};

}  // namespace zid
