#pragma once
// A channel source that records the connected source's calls, a media-server client
// that records what it is told, and a factory that makes such clients for the identity
// sources a connected source wraps.

#include <memory>
#include <string>
#include <vector>

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include "Core/Vexa/CPVexaPlaybackTracker.h"
#include <QXCorePlayer/Core/Vexa/ICPVexaFactory.h>
#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include <QXFoundation/Listening/IListenable.h>
#include <QXSDKPlayer/Common/QXIdentitySources.h>
#include <rt/Format.h>

namespace connectedtest {

using namespace zid;
using Lines = std::vector<std::string>;

/// A channel source that writes down what the connected source asks of it; realizing
/// and disposing stay the channel source's own.
class RecordingChannelSource : public ChannelSource {
    RT_CLASS(RecordingChannelSource, ChannelSource)
public:
    using ChannelSource::ChannelSource;
    void realizeWithPlaybackID(const std::string& playbackID) override {
        realizeCalls.push_back(playbackID);
        ChannelSource::realizeWithPlaybackID(playbackID);
    }
    void dispose() override {
        ++disposeCalls;
        ChannelSource::dispose();
    }

    std::vector<std::string> realizeCalls;
    int disposeCalls = 0;
};

/// A client that writes each call as a line and lets the test speak as its server.
class FakeVexaClient : public rt::Object, public IVexaClient {
    RT_CLASS(FakeVexaClient, rt::Object)
public:
    void setPassword(std::optional<std::string> p) override { add("password " + p.value_or("-")); }
    void setHash(std::optional<std::string> h) override { add("hash " + h.value_or("-")); }
    void setRsid(std::optional<std::string> r) override {
        rsid = r.value_or("");
        add("rsid");
    }
    void start() override { add("start"); }
    void stop() override { add("stop"); }
    bool online() const override { return false; }
    std::int64_t viewerCount() const override { return 0; }
    bool viewerCountEnabled() const override { return false; }
    void onStart() override { add("onStart"); }
    void onPause() override { add("onPause"); }
    void onResume() override { add("onResume"); }
    void onBuffering() override { add("onBuffering"); }
    void onFinish() override { add("onFinish"); }
    void onSeekFrom(double from, double to) override { add(rt::format("seek %g %g", from, to)); }
    void onKill() override { add("onKill"); }
    void onError(const rt::Ref<rt::Error>&) override { add("onError"); }
    void setCurrentDownloadSize(std::int64_t bytes) override { add(rt::format("size %lld", static_cast<long long>(bytes))); }
    void setDownloadSizeBaseline(std::int64_t bytes) override {
        add(rt::format("baseline %lld", static_cast<long long>(bytes)));
    }
    void setVideoSize(VexaVideoSize size) override { add(rt::format("video %gx%g", size.width, size.height)); }
    void setEcdn(bool ecdn) override { add(ecdn ? "ecdn 1" : "ecdn 0"); }
    void addListener(const rt::Ref<rt::Object>& listener) override { zid::addListener(*this, listener); }
    void removeListener(const rt::Object& listener) override { zid::removeListener(*this, listener); }

    /// Speaks to every listener, as the module handlers would.
    void tell(const std::function<void(VexaClientListener&, IVexaClient&)>& call) {
        auto keep = self();
        notifyListeners<VexaClientListener>(*this, [&](VexaClientListener& l) { call(l, *this); });
    }
    bool ask(const std::function<bool(VexaClientListener&, IVexaClient&)>& call) {
        auto keep = self();
        bool any = false;
        notifyListeners<VexaClientListener>(*this, [&](VexaClientListener& l) { any = call(l, *this) || any; });
        return any;
    }
    void connectionMade() { tell([](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidEstablishConnection(c, true); }); }
    void connectionLost() { tell([](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidEstablishConnection(c, false); }); }
    /// The transport failed with that cause (a refused certificate, an unreachable server).
    void connectionFailed(const rt::Ref<rt::Error>& cause) {
        tell([&](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidLoseConnection(c, cause); });
    }
    void stream(const std::string& url) {
        tell([&](VexaClientListener& l, IVexaClient& c) {
            l.vexaClientOnlineStatusChanged(c, true);
            l.vexaClientMediaUrlChanged(c, url);
        });
    }
    void meta() { tell([](VexaClientListener& l, IVexaClient& c) { l.vexaClientAdFree(c, VexaClientMetadata{}); }); }
    void online(bool on) { tell([&](VexaClientListener& l, IVexaClient& c) { l.vexaClientOnlineStatusChanged(c, on); }); }
    void reject(std::int64_t reason) {
        tell([&](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidRejectWithReason(c, reason); });
    }

    void add(std::string line) { calls.push_back(std::move(line)); }
    bool listens(const rt::Object& listener) const {
        for (const auto& proxy : listenerProxies(*this))
            if (proxy->target().get() == &listener) return true;
        return false;
    }

    Lines calls;
    std::string rsid;
};

/// Makes a recording client for each channel, recorded or highlight source; nothing
/// for any other. Keeps the clients it made only weakly, so a released one is seen.
class FakeVexaFactory : public ICPVexaFactory {
    RT_CLASS(FakeVexaFactory, ICPVexaFactory)
public:
    std::shared_ptr<IVexaClient> vexaClientForObject(const rt::Ref<ICPMediaSource>& source) override {
        ++requests;
        if (!rt::cast<ChannelSource>(source) && !rt::cast<RecordedSource>(source) && !rt::cast<HighlightSource>(source))
            return nullptr;
        auto client = rt::make<FakeVexaClient>();
        made.push_back(client);
        return client;
    }
    /// The latest client, while someone holds it.
    rt::Ref<FakeVexaClient> last() const { return made.empty() ? nullptr : made.back().lock(); }
    std::size_t liveClients() const {
        std::size_t n = 0;
        for (const auto& c : made) n += !c.expired();
        return n;
    }

    int requests = 0;
    std::vector<rt::Weak<FakeVexaClient>> made;
};

}  // namespace connectedtest
