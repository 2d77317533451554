#pragma once
// A connection that records what a client sends, and a listener that records what a
// client reports, for the media-server client's tests.

#include <memory>
#include <string>
#include <vector>

#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include <rt/Format.h>

#include "VirtualTime.h"

namespace vexatest {

using namespace zid;

struct FakeConnection : QXVexaConnection {
    void connectWithMediaID(std::optional<std::string> mediaID, std::optional<std::string> mediaType,
                            rt::Ref<QXVexaConfig> config) override {
        calls.push_back("connect " + mediaID.value_or("-") + " " + mediaType.value_or("-"));
        lastConfig = std::move(config);
    }
    void disconnect() override {
        calls.push_back("disconnect");
        isConnected = false;
    }
    void reconnectToHost(const std::string& host, const std::string& cluster) override {
        calls.push_back("reconnect " + host + " " + cluster);
    }
    void sendMessage(const QXVexaMessage& message) override {
        calls.push_back("send " + message.dump());
        messages.push_back(message);
    }
    bool connected() const override { return isConnected; }
    std::optional<std::string> cluster() const override { return std::nullopt; }

    /// Connects and tells the delegate.
    void open() {
        isConnected = true;
        if (auto d = delegate()) d->vexaConnectionDidConnect(*this);
    }
    void lose() {
        isConnected = false;
        if (auto d = delegate()) d->vexaConnectionDidDisconnect(*this);
    }
    void receive(const std::string& json) {
        if (auto d = delegate()) d->vexaConnectionDidReceiveMessage(*this, vexaParse(json));
    }
    /// The dumps of the messages whose "cmd" is cmd.
    std::vector<std::string> sent(const std::string& cmd) const {
        std::vector<std::string> out;
        for (const auto& m : messages)
            if (m.value("cmd", "") == cmd) out.push_back(m.dump());
        return out;
    }

    bool isConnected = false;
    std::vector<std::string> calls;
    std::vector<QXVexaMessage> messages;
    rt::Ref<QXVexaConfig> lastConfig;
};

/// Every call as one line of text, in order.
class RecordingListener : public rt::Object, public VexaClientListener {
    RT_CLASS(RecordingListener, rt::Object)
public:
    void vexaClientTitleChanged(IVexaClient&, const std::string& title) override { add("title " + title); }
    void vexaClientOnlineStatusChanged(IVexaClient&, bool online) override { add(online ? "online" : "offline"); }
    void vexaClientMediaUrlChanged(IVexaClient&, const std::string& url) override { add("url " + url); }
    void vexaClientViewerCountChanged(IVexaClient&, std::int64_t count, bool enabled) override {
        add(rt::format("viewers %lld %d", static_cast<long long>(count), enabled ? 1 : 0));
    }
    void vexaClientTotalViewerCountChanged(IVexaClient&, std::int64_t count) override {
        add(rt::format("total %lld", static_cast<long long>(count)));
    }
    void vexaClientDidRejectWithReason(IVexaClient&, std::int64_t reason) override {
        add(rt::format("reject %lld", static_cast<long long>(reason)));
        if (onReject) onReject();
    }
    void vexaClientDidEstablishConnection(IVexaClient&, bool established) override {
        add(established ? "connected" : "disconnected");
    }
    bool vexaClientDidReceiveAgeLock(IVexaClient&, std::uint64_t age, rt::Date date) override {
        add(rt::format("age %llu %.0f", static_cast<unsigned long long>(age), date.secondsSince1970));
        return takeAgeLocks;
    }
    void vexaClientDidReceiveHashLock(IVexaClient&, const std::optional<std::string>& url) override {
        add("hash " + url.value_or("(nil)"));
    }
    void vexaClientAdFree(IVexaClient&, const VexaClientMetadata& m) override {
        std::string keywords;
        if (m.keywords)
            for (const auto& k : *m.keywords) keywords += k + ",";
        add(rt::format("meta adFree=%d main=%@/%@ sub=%@/%@ url=%@ partner=%d featured=%d keywords=%@", m.adFree ? 1 : 0,
                       m.mainCategoryId, m.mainCategoryName, m.subCategoryId, m.subCategoryName,
                       m.channelUrl.value_or("(nil)"), m.contentPartner ? 1 : 0, m.broadcasterFeatured ? 1 : 0,
                       m.keywords ? keywords : "(nil)"));
    }
    void vexaClientDidReceiveLogos(IVexaClient&, const std::vector<rt::Ref<VexaLogoInfo>>& logos) override {
        std::string text = "logos";
        for (const auto& l : logos)
            text += rt::format(" [%lld %lld %d %@ %@]", static_cast<long long>(l->align), static_cast<long long>(l->margin),
                               l->mobile ? 1 : 0, l->url.value_or("(nil)"), l->clickUrl.value_or("(nil)"));
        add(text);
    }
    void vexaClientDidReceiveThumbnails(IVexaClient&, const rt::Value& thumbnails) override {
        add("thumbnails " + thumbnails.description());
        lastThumbnails = thumbnails;
    }
    void vexaClientDidReceiveHighlightStartRatio(IVexaClient&, double start, double end) override {
        add(rt::format("ratio %g %g", start, end));
    }
    void vexaClientDidReceiveBroadcastStartDate(IVexaClient&, rt::Date date) override {
        add(rt::format("started %.0f", date.secondsSince1970));
    }
    void vexaClientDidReceiveCDNServices(IVexaClient&, const std::vector<rt::Ref<QXCDNService>>& services) override {
        add(rt::format("cdn %zu", services.size()));
        lastServices = services;
    }
    void vexaClientDidReceiveAccessInfos(IVexaClient&, const std::vector<rt::Ref<QXVexaClientAccessInfo>>& infos) override {
        add(rt::format("access %zu", infos.size()));
        lastAccessInfos = infos;
    }

    void add(std::string line) { calls.push_back(std::move(line)); }

    std::vector<std::string> calls;
    bool takeAgeLocks = true;
    std::function<void()> onReject;
    rt::Value lastThumbnails;
    std::vector<rt::Ref<QXCDNService>> lastServices;
    std::vector<rt::Ref<QXVexaClientAccessInfo>> lastAccessInfos;
};

/// A channel client over an open fake connection, told to a recording listener, on
/// virtual time.
class OpenClientTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        zidtest::VirtualTimeTest::SetUp();
        client = QXVexaClient::clientWithChannelID("42", rt::make<QXVexaConfig>(QXVexaConfig::Environment{}), connection);
        client->addListener(listener);
        connection->open();
    }

    std::shared_ptr<FakeConnection> connection = std::make_shared<FakeConnection>();
    rt::Ref<QXVexaClient> client;
    rt::Ref<RecordingListener> listener = rt::make<RecordingListener>();
};

}  // namespace vexatest
