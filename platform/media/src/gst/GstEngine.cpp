#include <media/Asset.h>
#include <media/GstEngine.h>
#include <media/PlayerItem.h>

#include <mutex>

#include <fnd/Queue.h>

#include "GstSession.h"
#include "GstTeardown.h"
#include "PendingLoads.h"

namespace media {

namespace {

class GstPlayback : public Playback {
    RT_CLASS(GstPlayback, Playback)
public:
    explicit GstPlayback(std::shared_ptr<gstimpl::GstSession> session) : session_(std::move(session)) {}
    ~GstPlayback() override { close(); }

    void setRate(float rate) override {
        if (session_) session_->setRate(rate);
    }
    void seek(Time time, Time before, Time after, std::function<void(bool)> done) override {
        if (session_) session_->seek(time, before, after, std::move(done));
        else if (done) fnd::Queue::main()->async([done] { done(false); });
    }
    Time currentTime() const override { return session_ ? session_->currentTime() : Time::zero(); }
    void setMuted(bool muted) override {
        if (session_) session_->setMuted(muted);
    }
    void setVolume(float volume) override {
        if (session_) session_->setVolume(volume);
    }
    void select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) override {
        if (session_) session_->select(group, option);
    }
    void refreshAccessLog(AccessLogEvent& event) override {
        if (session_) session_->refreshAccessLog(event);
    }
    void close() override {
        if (auto session = std::exchange(session_, nullptr)) session->shutdown();
    }

private:
    std::shared_ptr<gstimpl::GstSession> session_;
};

PendingLoads<gstimpl::GstSession>& pendingLoads() {
    static auto* loads = new PendingLoads<gstimpl::GstSession>;
    return *loads;
}

}  // namespace

GstEngine::GstEngine(Options options) : options_(options) { ensureInitialized(); }

void GstEngine::ensureInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

bool GstEngine::finishTeardowns(double seconds) { return gstimpl::waitForTeardowns(seconds); }

void GstEngine::loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) {
    rt::Weak<Asset> weakAsset = asset;
    std::string url = asset->url();
    Options options = options_;
    // Pipelines are driven from the main thread, whichever thread asked.
    auto start = [weakAsset, url, options, done] {
        auto asset = weakAsset.lock();
        if (!asset) return;
        auto session = std::make_shared<gstimpl::GstSession>(url, options);
        const Asset* key = asset.get();
        pendingLoads().put(key, session);
        std::weak_ptr<gstimpl::GstSession> weakSession = session;
        session->setLoadCompletion([weakAsset, weakSession, key, done](rt::Ref<rt::Error> error, AssetInfo info) {
            std::shared_ptr<gstimpl::GstSession> session;
            if (auto mine = weakSession.lock()) session = pendingLoads().take(key, mine);
            auto asset = weakAsset.lock();
            if (!error && asset && session) asset->setPreparedState(session);
            done(std::move(error), std::move(info));
            // A failed pipeline is released on a later turn, outside its own message handler.
            if (session && error) fnd::Queue::main()->async([session] { session->shutdown(); });
        });
        if (auto error = session->start()) {
            pendingLoads().take(key);
            done(error, {});
        }
    };
    startOnMainThread(start);
}

void GstEngine::cancelAssetLoad(const rt::Ref<Asset>& asset) {
    auto session = pendingLoads().take(asset.get());
    if (!session) return;
    fnd::Queue::main()->async([session] { session->shutdown(); });
}

rt::Ref<Playback> GstEngine::makePlayback(const rt::Ref<PlayerItem>& item) {
    auto session = std::static_pointer_cast<gstimpl::GstSession>(item->asset()->takePreparedState());
    if (!session) {
        session = std::make_shared<gstimpl::GstSession>(item->asset()->url(), options_);
        if (auto error = session->start()) {
            item->engineDidFail(error);
            return nullptr;
        }
    }
    session->attach(item);
    return rt::make<GstPlayback>(session);
}

}  // namespace media
