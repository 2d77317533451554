#include <QXMediaPlayer/Ad/IMA/QXIMAAdsLoader.h>
#include <gtest/gtest.h>
#include <ima/ScriptedBackend.h>

#include "VirtualTime.h"

namespace zid {
namespace {

using ima::AdErrorType;
using ima::ScriptedAnswer;

struct Answer {
    std::string tag;
    rt::Ref<ima::AdsLoadedData> data;
    rt::Ref<ima::AdError> error;
};

class IMAAdsLoaderTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        ima::installBackend(backend);
        QXIMAAdsLoader::resetSharedAdsLoader();
        loader = QXIMAAdsLoader::sharedAdsLoader();
    }
    void TearDown() override {
        QXIMAAdsLoader::resetSharedAdsLoader();
        ima::installBackend(nullptr);
        VirtualTimeTest::TearDown();
    }
    rt::Ref<ima::AdsRequest> request(const std::string& tag) {
        auto container = rt::make<ima::AdDisplayContainer>(rt::make<ui::View>());
        return rt::make<ima::AdsRequest>(tag, container, nullptr);
    }
    rt::Ref<ima::AdsRequest> send(const std::string& tag) {
        auto r = request(tag);
        loader->requestAdsWithRequest(
            r, [this, tag](const rt::Ref<ima::AdsLoadedData>& data, const rt::Ref<ima::AdError>& error) {
                answers.push_back({tag, data, error});
            });
        return r;
    }
    std::vector<std::string> sentTags() const {
        std::vector<std::string> tags;
        for (const auto& record : backend->requests()) tags.push_back(record->request->adTagUrl());
        return tags;
    }

    std::shared_ptr<ima::ScriptedBackend> backend = std::make_shared<ima::ScriptedBackend>();
    rt::Ref<QXIMAAdsLoader> loader;
    std::vector<Answer> answers;
};

TEST_F(IMAAdsLoaderTest, OneLoaderForTheProcessWithItsSettings) {
    EXPECT_EQ(QXIMAAdsLoader::sharedAdsLoader(), loader);
    ASSERT_TRUE(loader->adsLoader());
    EXPECT_FALSE(loader->adsLoader()->settings()->autoPlayAdBreaks());
    EXPECT_TRUE(loader->adsLoader()->settings()->enableBackgroundPlayback());
}

TEST_F(IMAAdsLoaderTest, RequestsGoOneAtATimeInArrivalOrder) {
    backend->queueAnswer(ScriptedAnswer::ad(1));
    backend->queueAnswer(ScriptedAnswer::ad(1));
    auto first = send("http://a/1");
    send("http://a/2");
    EXPECT_EQ(sentTags(), (std::vector<std::string>{"http://a/1"}));
    EXPECT_EQ(loader->currentRecord()->request(), first);
    EXPECT_EQ(loader->requestRecords().size(), 1u);
    advance(1);
    EXPECT_EQ(sentTags(), (std::vector<std::string>{"http://a/1", "http://a/2"}));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].tag, "http://a/1");
    EXPECT_EQ(answers[0].data->adsRequest(), first);
    EXPECT_FALSE(answers[0].error);
    advance(1);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1].tag, "http://a/2");
    EXPECT_FALSE(loader->currentRecord());
}

TEST_F(IMAAdsLoaderTest, CancelRemovesAQueuedRequestButNotTheCurrentOne) {
    auto first = send("http://a/1");
    auto second = send("http://a/2");
    send("http://a/3");
    loader->cancelRequest(second);
    loader->cancelRequest(first);  // in flight: still answered
    advance(5);
    EXPECT_EQ(sentTags(), (std::vector<std::string>{"http://a/1", "http://a/3"}));
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].tag, "http://a/1");
    EXPECT_EQ(answers[1].tag, "http://a/3");
}

TEST_F(IMAAdsLoaderTest, AFailureReplacesTheLoaderBeforeTheNextRequestIsSent) {
    backend->queueAnswer(ScriptedAnswer::failure(1, AdErrorType::Loading, 1009, "empty answer"));
    send("http://a/1");
    send("http://a/2");
    auto before = loader->adsLoader();
    advance(1);
    ASSERT_EQ(answers.size(), 1u);
    ASSERT_TRUE(answers[0].error);
    EXPECT_EQ(answers[0].error->code(), 1009);
    EXPECT_NE(loader->adsLoader(), before);
    ASSERT_EQ(backend->requests().size(), 2u);
    EXPECT_EQ(backend->requests()[1]->loader, loader->adsLoader()) << "the next request goes to the new loader";
    advance(1);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[1].data);
}

TEST_F(IMAAdsLoaderTest, AnUnansweredRequestTimesOutAndItsLateAnswerIsDropped) {
    backend->queueAnswer(ScriptedAnswer::ad(15));  // answers after the time-out
    backend->queueAnswer(ScriptedAnswer::ad(8));
    send("http://a/slow");
    send("http://a/next");
    advance(9.999);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(sentTags().size(), 1u);
    advance(0.001);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].tag, "http://a/slow");
    ASSERT_TRUE(answers[0].error);
    EXPECT_EQ(answers[0].error->type(), AdErrorType::Loading);
    EXPECT_EQ(answers[0].error->code(), ima::kAdErrorTimedOut);
    EXPECT_EQ(sentTags().size(), 2u) << "the queue moved on";
    advance(5);  // the slow answer arrives now, while "next" is in flight
    EXPECT_EQ(answers.size(), 1u);
    ASSERT_TRUE(backend->requests()[0]->manager);
    EXPECT_TRUE(backend->requests()[0]->manager->isDestroyed());
    advance(3);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1].tag, "http://a/next");
    EXPECT_EQ(answers[1].data->adsManager(), backend->requests()[1]->manager);
}

TEST_F(IMAAdsLoaderTest, ACallbackMayQueueTheNextRequest) {
    auto again = [this](const rt::Ref<ima::AdsLoadedData>&, const rt::Ref<ima::AdError>&) {
        answers.push_back({"first", nullptr, nullptr});
        EXPECT_FALSE(loader->currentRecord()) << "the loader is idle when the callback runs";
        send("http://a/again");
        EXPECT_TRUE(loader->currentRecord());
    };
    loader->requestAdsWithRequest(request("http://a/1"), again);
    advance(1);
    advance(1);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1].tag, "http://a/again");
}

}  // namespace
}  // namespace zid
