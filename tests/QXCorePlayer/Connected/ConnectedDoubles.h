#pragma once
// Stand-ins for what the player facade supplies to a connected source (the channel,
// recorded and highlight sources, the client factory with its default configuration),
// and a media-server client that records what it is told.

#include <memory>
#include <string>
#include <vector>

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include "Core/Vexa/CPVexaPlaybackTracker.h"
#include <QXCorePlayer/Core/Vexa/ICPVexaFactory.h>
#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"
#include <QXFoundation/Listening/IListenable.h>
#include <rt/Format.h>

namespace connectedtest {

using namespace zid;
using Lines = std::vector<std::string>;

/// A bare content source of the facade: it knows its ids and is realized at once.
class ContentSource : public CPAbstractMediaSource {
    RT_CLASS(ContentSource, CPAbstractMediaSource)
public:
    ContentSource(CPMediaSourceType type, std::string id) : type_(type), id_(std::move(id)) {}
    void realizeWithPlaybackID(const std::string& playbackID) override {
        realizeCalls.push_back(playbackID);
        if (failWith) {
            setFailedWithError(failWith);
            return;
        }
        setRealized();
    }
    void dispose() override {
        ++disposeCalls;
        setUnrealized();
    }

    std::vector<std::string> realizeCalls;
    int disposeCalls = 0;
    rt::Ref<rt::Error> failWith;

protected:
    void didInitialize() override {
        CPAbstractMediaSource::didInitialize();
        setSourceType(type_);
        setContentId(id_);
    }

private:
    CPMediaSourceType type_;
    std::string id_;
};

class ChannelSource : public ContentSource {
    RT_CLASS(ChannelSource, ContentSource)
public:
    explicit ChannelSource(std::string channelID)
        : ContentSource(CPMediaSourceType::LiveChannel, channelID), channelID(std::move(channelID)) {}
    std::string channelID;
};

class RecordedSource : public ContentSource {
    RT_CLASS(RecordedSource, ContentSource)
public:
    explicit RecordedSource(std::string recordID)
        : ContentSource(CPMediaSourceType::Recorded, recordID), recordID(std::move(recordID)) {}
    std::string recordID;
};

class HighlightSource : public ContentSource {
    RT_CLASS(HighlightSource, ContentSource)
public:
    HighlightSource(std::string highlightID, std::string recordID)
        : ContentSource(CPMediaSourceType::Highlight, highlightID),
          highlightID(std::move(highlightID)),
          recordID(std::move(recordID)) {}
    std::string highlightID, recordID;
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

/// The facade's client factory: a real client per source over one started service.
class PeerVexaFactory : public ICPVexaFactory {
    RT_CLASS(PeerVexaFactory, ICPVexaFactory)
public:
    PeerVexaFactory(std::string defaultCluster, std::string host, QXVexaSocketSettings settings, std::string apiKey)
        : service_(rt::make<QXVexaService>(std::move(defaultCluster), std::move(host), std::move(settings))),
          apiKey_(std::move(apiKey)) {
        service_->start();
    }

    rt::Ref<QXVexaConfig> defaultConfig() const {
        auto config = rt::make<QXVexaConfig>(QXVexaConfig::Environment{"Linux", "12", std::string("com.example.demo"), 2,
                                                                        std::nullopt, std::string("pin")});
        config->setAppID(rt::Value(112));
        config->setAppVersion(rt::Value(1));
        config->setAppBundle(std::string("com.example.demo"));
        config->setBrandID(rt::Value(1));
        config->setBuildNumber(std::string());
        config->setBuildTime(std::string());
        config->setClientType(0);
        config->setAppFlavor(std::string("1"));
        config->setDeviceType(std::string("mobile"));
        config->setReferrer(std::string("com.example.demo"));
        config->setApiKey(apiKey_);
        config->setApiKeyVersion(rt::Value(1.0));
        return config;
    }

    std::shared_ptr<IVexaClient> vexaClientForObject(const rt::Ref<ICPMediaSource>& source) override {
        auto connection = std::static_pointer_cast<QXVexaConnection>(rt::make<QXVexaSubscribeConnection>(service_));
        rt::Ref<QXVexaClient> client;
        if (auto channel = rt::cast<ChannelSource>(source))
            client = QXVexaClient::clientWithChannelID(channel->channelID, defaultConfig(), connection);
        else if (auto recorded = rt::cast<RecordedSource>(source))
            client = QXVexaClient::clientWithRecordID(recorded->recordID, defaultConfig(), connection);
        else if (auto highlight = rt::cast<HighlightSource>(source))
            client = QXVexaClient::clientWithHighlightID(highlight->highlightID, highlight->recordID, defaultConfig(),
                                                         connection);
        if (client) made.push_back(client);
        return client;
    }

    const rt::Ref<QXVexaService>& service() const { return service_; }
    std::vector<rt::Weak<QXVexaClient>> made;

private:
    rt::Ref<QXVexaService> service_;
    std::string apiKey_;
};

}  // namespace connectedtest
