// Loading images into image views from the loopback origin, files and bundles: the
// memory cache, cancellation by a newer request, the time-out on virtual time, the
// queue's limit, and bindings to source signals.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QXFoundation/Cache/TimeoutCache.h>
#include <RuzEzo/Signal/FKSignal.h>
#include <SolidImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <fnd/Bundle.h>
#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <ui/ImageContext.h>

#include "ImageOrigin.h"
#include "ImageFetching/ImageViewImageBinding.h"
#include "QXUIKit/ImageFetching/ImageViewImageFetching.h"
#include "QXUIKit/Resources/QXUIKitResources.h"

using namespace zid;
using zidtest::pngBytes;
using zidtest::solidImage;

namespace {

struct Outcome {
    int successes = 0;
    int failures = 0;
    bool onMainThread = true;
    rt::Ref<ui::Image> image;
    rt::Ref<rt::Error> error;
    bool requestWasNil = false;

    QXImageRequestOperation::SuccessBlock success() {
        return [this](const rt::Ref<fnd::URLRequest>& request, const rt::Ref<ui::Image>& img) {
            ++successes;
            onMainThread = onMainThread && fnd::RunLoop::isMainThread();
            requestWasNil = !request;
            image = img;
        };
    }
    QXImageRequestOperation::FailureBlock failure() {
        return [this](const rt::Ref<fnd::URLRequest>&, const rt::Ref<rt::Error>& e) {
            ++failures;
            onMainThread = onMainThread && fnd::RunLoop::isMainThread();
            error = e;
        };
    }
    bool ended() const { return successes + failures > 0; }
};

class ImageFetching : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        zidtest::VirtualTimeTest::SetUp();
        qxSharedImageCache()->removeAllObjects();
        TimeoutCache::defaultCache()->removeAllObjects();
        red = solidImage(4, 3, 0xFFFF0000u);
        placeholder = solidImage(2, 2, 0xFF0000FFu);
        origin = std::make_unique<zidtest::ImageOrigin>(pngBytes(*red));
    }
    void TearDown() override {
        origin.reset();
        // Loads still queued or running end before the next test.
        fnd::RunLoop::main()->runUntil([] { return qxSharedImageRequestOperationQueue()->operationCount() == 0; }, 10);
        zidtest::VirtualTimeTest::TearDown();
    }
    /// Runs the main loop (real time, virtual clock standing still) until done.
    bool waitFor(const std::function<bool()>& done, double seconds = 5) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }
    static rt::Ref<fnd::URLRequest> requestFor(const std::string& url, double timeout = 60) {
        auto request = rt::make<fnd::URLRequest>(url);
        request->setTimeoutInterval(timeout);
        return request;
    }

    rt::Ref<ui::Image> red;
    rt::Ref<ui::Image> placeholder;
    std::unique_ptr<zidtest::ImageOrigin> origin;
};

}  // namespace

TEST_F(ImageFetching, RemoteImageShowsAfterThePlaceholderAndFillsTheSharedCache) {
    auto view = rt::make<ui::ImageView>();
    qxSetImageWithURL(view, origin->url("/image.png"), placeholder);
    EXPECT_EQ(view->image(), placeholder) << "the placeholder shows while the load runs";
    ASSERT_NE(qxImageRequestOperation(*view), nullptr);
    ASSERT_TRUE(waitFor([&] { return view->image() != placeholder; }));
    ASSERT_NE(view->image(), nullptr);
    EXPECT_EQ(view->image()->pixelWidth(), 4);
    EXPECT_EQ(view->image()->pixelAt(1, 1), 0xFFFF0000u);
    EXPECT_EQ(qxImageRequestOperation(*view), nullptr) << "a finished load is forgotten";
    EXPECT_EQ(origin->requests(), 1);

    // The cache is read first: a second view gets the image at once, without a request.
    auto second = rt::make<ui::ImageView>();
    Outcome outcome;
    qxSetImageWithURLRequest(second, requestFor(origin->url("/image.png")), placeholder, outcome.success(),
                             outcome.failure());
    EXPECT_EQ(outcome.successes, 1);
    EXPECT_TRUE(outcome.requestWasNil) << "a cache hit hands over no request";
    EXPECT_EQ(second->image(), nullptr) << "with a success block the caller shows the image";
    EXPECT_EQ(origin->requests(), 1);
}

TEST_F(ImageFetching, RequestsThatMustReloadNeverReadTheCache) {
    for (auto policy : {fnd::URLRequestCachePolicy::ReloadIgnoringLocalCacheData,
                        fnd::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData}) {
        auto request = requestFor(origin->url("/image.png"));
        qxSharedImageCache()->cacheImage(placeholder, request);
        request->setCachePolicy(policy);
        EXPECT_EQ(qxSharedImageCache()->imageForURLRequest(request), nullptr);
        int before = origin->requests();
        auto view = rt::make<ui::ImageView>();
        Outcome outcome;
        qxSetImageWithURLRequest(view, request, nullptr, outcome.success(), outcome.failure());
        ASSERT_TRUE(waitFor([&] { return outcome.ended(); }));
        EXPECT_EQ(outcome.successes, 1);
        EXPECT_FALSE(outcome.requestWasNil);
        EXPECT_EQ(origin->requests(), before + 1);
    }
}

TEST_F(ImageFetching, FailuresReachTheFailureBlockOnTheMainThreadAndKeepThePlaceholder) {
    struct Case {
        std::string url;
        std::string domain;
        long long code;
        bool reachesOrigin;
    };
    std::vector<Case> cases = {
        {origin->url("/missing.png"), QXImageFetchingErrorDomain, 0, true},
        {origin->url("/text"), QXImageFetchingErrorDomain, 0, true},
        {"ftp://127.0.0.1/image.png", net::kNetworkErrorDomain, static_cast<long long>(net::NetworkError::BadURL), false},
        {"file:///nonexistent/zid/image.png", "POSIXErrorDomain", ENOENT, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        int before = origin->requests();
        auto view = rt::make<ui::ImageView>();
        Outcome outcome;
        qxSetImageWithURLRequest(view, requestFor(c.url), placeholder, outcome.success(), outcome.failure());
        ASSERT_TRUE(waitFor([&] { return outcome.ended(); }));
        EXPECT_EQ(outcome.successes, 0);
        ASSERT_NE(outcome.error, nullptr);
        EXPECT_EQ(outcome.error->domain(), c.domain);
        EXPECT_EQ(outcome.error->code(), c.code);
        EXPECT_FALSE(outcome.error->localizedDescription().empty());
        EXPECT_TRUE(outcome.onMainThread);
        EXPECT_EQ(view->image(), placeholder);
        EXPECT_EQ(qxImageRequestOperation(*view), nullptr);
        EXPECT_EQ(origin->requests(), before + (c.reachesOrigin ? 1 : 0));
        EXPECT_EQ(qxSharedImageCache()->count(), 0u) << "a failure caches nothing";
    }
}

TEST_F(ImageFetching, FileURLsLoadFromDisk) {
    auto dir = std::filesystem::temp_directory_path() / ("zid-image-fetch-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "a b");
    auto path = dir / "a b" / "red.png";
    ASSERT_TRUE(red->writePNG(path.string()));
    auto view = rt::make<ui::ImageView>();
    qxSetImageWithURL(view, "file://" + (dir / "a%20b" / "red.png").string());
    ASSERT_TRUE(waitFor([&] { return view->image() != nullptr; }));
    EXPECT_EQ(view->image()->pixelAt(0, 0), 0xFFFF0000u);
    std::filesystem::remove_all(dir);
}

TEST_F(ImageFetching, FileURLsReadOnlyRegularFilesUpToTheHTTPBound) {
    auto dir = std::filesystem::temp_directory_path() / ("zid-image-bounds-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string fifo = (dir / "pipe.png").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto png = (dir / "red.png").string();
    ASSERT_TRUE(red->writePNG(png));
    auto load = [&](const std::string& url) {
        auto view = rt::make<ui::ImageView>();
        Outcome outcome;
        qxSetImageWithURLRequest(view, requestFor(url), placeholder, outcome.success(), outcome.failure());
        EXPECT_TRUE(waitFor([&] { return outcome.ended(); })) << url << " must end";
        EXPECT_EQ(qxImageRequestOperation(*view), nullptr);
        return outcome;
    };
    // A device and a pipe are refused at once: neither is read, neither blocks.
    for (const std::string& url : {std::string("file:///dev/zero"), "file://" + fifo}) {
        SCOPED_TRACE(url);
        auto outcome = load(url);
        ASSERT_NE(outcome.error, nullptr);
        EXPECT_EQ(outcome.error->domain(), "POSIXErrorDomain");
        EXPECT_EQ(outcome.error->code(), EINVAL);
    }
    // A file over the client's body bound fails as a body over it does.
    auto small = rt::make<net::HttpClient>();
    small->setMaxResponseBytes(16);
    QXImageRequestOperation::setHTTPClient(small);
    auto tooLarge = load("file://" + png);
    QXImageRequestOperation::setHTTPClient(nullptr);
    ASSERT_NE(tooLarge.error, nullptr);
    EXPECT_EQ(tooLarge.error->domain(), net::kNetworkErrorDomain);
    EXPECT_EQ(tooLarge.error->code(), static_cast<long long>(net::NetworkError::ResponseTooLarge));
    EXPECT_EQ(load("file://" + png).successes, 1) << "within the bound it loads";
    // The binding reads file sources the same way.
    auto bound = rt::make<ui::ImageView>();
    auto source = rt::make<FKSignal>();
    bindSourceSignal(bound, source, placeholder, 0);
    source->setValue(rt::Value("file://" + png));
    ASSERT_NE(bound->image(), nullptr);
    source->setValue(rt::Value("file://" + fifo));
    EXPECT_EQ(bound->image(), nullptr);
    source->setValue(rt::Value("file:///dev/zero"));
    EXPECT_EQ(bound->image(), nullptr);
    std::filesystem::remove_all(dir);
}

TEST_F(ImageFetching, ImagesDeclaringMoreThanTheDecodingLimitsFailWithTheFetchingError) {
    for (const auto& entry : std::filesystem::directory_iterator(zidtest::testPath("image_corpus"))) {
        // The corpus also holds ordinary images the fuzzer starts from; the hostile bodies
        // say what they declare in their names.
        if (entry.path().filename().string().find("_declares_") == std::string::npos) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        in.ignore(1);  // the byte of the image fuzz target's input that picks the scale
        origin->setBody(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        auto view = rt::make<ui::ImageView>();
        Outcome outcome;
        qxSetImageWithURLRequest(view, requestFor(origin->url("/body")), placeholder, outcome.success(),
                                 outcome.failure());
        ASSERT_TRUE(waitFor([&] { return outcome.ended(); }));
        ASSERT_NE(outcome.error, nullptr);
        EXPECT_EQ(outcome.error->domain(), QXImageFetchingErrorDomain);
        EXPECT_EQ(outcome.error->code(), 0);
        EXPECT_NE(outcome.error->localizedDescription().find("declares"), std::string::npos)
            << outcome.error->localizedDescription();
        EXPECT_EQ(view->image(), placeholder);
    }
}

TEST_F(ImageFetching, SlowLoadTimesOutOnTheMainClockAtTheRequestsBoundOrSixtySeconds) {
    struct Case {
        double asked;
        double bound;
    };
    for (Case c : {Case{30, 30}, Case{600, 60}, Case{0, 60}}) {
        SCOPED_TRACE(c.asked);
        auto view = rt::make<ui::ImageView>();
        Outcome outcome;
        int waitingBefore = origin->waiting();
        qxSetImageWithURLRequest(view, requestFor(origin->url("/slow"), c.asked), placeholder, outcome.success(),
                                 outcome.failure());
        ASSERT_TRUE(origin->waitForWaiting(waitingBefore + 1));
        auto operation = qxImageRequestOperation(*view);
        ASSERT_NE(operation, nullptr);
        advance(c.bound - 0.1);
        drain();
        EXPECT_FALSE(outcome.ended()) << "still within the time-out";
        advance(0.2);
        ASSERT_TRUE(waitFor([&] { return outcome.ended(); }));
        EXPECT_EQ(outcome.failures, 1);
        ASSERT_NE(outcome.error, nullptr);
        EXPECT_EQ(outcome.error->domain(), net::kNetworkErrorDomain);
        EXPECT_EQ(outcome.error->code(), static_cast<long long>(net::NetworkError::TimedOut));
        EXPECT_TRUE(operation->isFinished()) << "a timed-out load frees its slot";
        EXPECT_EQ(view->image(), placeholder);
    }
    origin->release(3);
}

TEST_F(ImageFetching, ANewerRequestCancelsTheOneBeforeWhichNeverCallsBack) {
    auto view = rt::make<ui::ImageView>();
    Outcome first;
    qxSetImageWithURLRequest(view, requestFor(origin->url("/slow")), placeholder, first.success(), first.failure());
    ASSERT_TRUE(origin->waitForWaiting(1));
    auto replaced = qxImageRequestOperation(*view);
    qxSetImageWithURL(view, origin->url("/image.png"));
    EXPECT_TRUE(replaced->isCancelled());
    EXPECT_TRUE(replaced->isFinished()) << "cancelling frees the queue slot at once";
    ASSERT_TRUE(waitFor([&] { return view->image() != placeholder && view->image() != nullptr; }));
    origin->release();
    // Give a late answer of the first load every chance to arrive.
    waitFor([] { return false; }, 0.3);
    advance(120);
    drain();
    EXPECT_FALSE(first.ended());
    EXPECT_EQ(view->image()->pixelAt(0, 0), 0xFFFF0000u);

    // Cancelling outright: nothing arrives either.
    Outcome cancelled;
    auto other = rt::make<ui::ImageView>();
    qxSetImageWithURLRequest(other, requestFor(origin->url("/missing.png")), nullptr, cancelled.success(),
                             cancelled.failure());
    qxCancelImageRequestOperation(*other);
    EXPECT_EQ(qxImageRequestOperation(*other), nullptr);
    waitFor([] { return false; }, 0.3);
    EXPECT_FALSE(cancelled.ended());
}

TEST_F(ImageFetching, ASixthLoadWaitsForOneOfFiveToEnd) {
    std::vector<rt::Ref<ui::ImageView>> views;
    std::vector<Outcome> outcomes(6);
    for (int i = 0; i < 6; ++i) {
        views.push_back(rt::make<ui::ImageView>());
        qxSetImageWithURLRequest(views.back(), requestFor(origin->url("/slow")), nullptr, outcomes[i].success(),
                                 outcomes[i].failure());
    }
    ASSERT_TRUE(origin->waitForWaiting(5));
    EXPECT_FALSE(origin->waitForWaiting(6, std::chrono::milliseconds(300))) << "only five loads run at once";
    EXPECT_EQ(origin->requests(), 5);
    origin->release(1);
    ASSERT_TRUE(waitFor([&] { return origin->requests() == 6; }));
    origin->release(5);
    ASSERT_TRUE(waitFor([&] {
        for (auto& o : outcomes)
            if (!o.ended()) return false;
        return true;
    }));
    for (auto& o : outcomes) EXPECT_EQ(o.successes, 1);
}

TEST_F(ImageFetching, BindingFollowsTheSourceSignal) {
    auto view = rt::make<ui::ImageView>();
    auto signal = rt::make<FKSignal>();
    int imageChanges = 0;
    auto watch = rt::observe(view, ui::ImageView::imageKey, *view,
                             [&](ui::ImageView&, rt::Ref<ui::Image>, rt::Ref<ui::Image>) { ++imageChanges; });
    auto binding = bindSourceSignal(view, signal, placeholder);
    ASSERT_NE(binding, nullptr);
    EXPECT_EQ(disposable(*view), binding);
    EXPECT_EQ(view->image(), nullptr) << "an empty signal applies nothing";

    signal->setValue(rt::Value());
    EXPECT_EQ(view->image(), placeholder);
    EXPECT_EQ(imageChanges, 1);
    signal->setValue(rt::Value(origin->url("/image.png")));
    ASSERT_TRUE(waitFor([&] { return view->image() != placeholder; }));
    EXPECT_EQ(view->image()->pixelWidth(), 4);

    // A name is an image of the application's bundle.
    auto dir = std::filesystem::temp_directory_path() / ("zid-image-bundle-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(placeholder->writePNG((dir / "badge.png").string()));
    fnd::Bundle::setMainBundlePath(dir.string());
    signal->setValue(rt::Value("badge"));
    ASSERT_NE(view->image(), nullptr);
    EXPECT_EQ(view->image()->pixelAt(0, 0), 0xFF0000FFu);
    signal->setValue(rt::Value("no-such-image.png"));
    EXPECT_EQ(view->image(), nullptr) << "a name that names nothing sets no image";
    signal->setValue(rt::Value("file://" + (dir / "badge.png").string()));
    ASSERT_NE(view->image(), nullptr);
    signal->setValue(rt::Value("file:///nonexistent/zid/x.png"));
    EXPECT_EQ(view->image(), nullptr);
    fnd::Bundle::setMainBundlePath("");
    std::filesystem::remove_all(dir);

    // Binding again ends the binding before.
    auto next = rt::make<FKSignal>();
    next->setValue(rt::Value());
    bindSourceSignal(view, next, placeholder);
    EXPECT_EQ(view->image(), placeholder) << "a value the signal holds applies at once";
    signal->setValue(rt::Value("file:///nonexistent/zid/y.png"));
    EXPECT_EQ(view->image(), placeholder) << "the replaced binding no longer writes";
    int changes = imageChanges;
    next->setValue(rt::Value(std::string("other")));
    next->setValue(rt::Value());
    EXPECT_EQ(imageChanges, changes + 2);
}

TEST_F(ImageFetching, BindingWithATimeToLiveServesTheExpiringCacheUntilTheEntryExpires) {
    auto view = rt::make<ui::ImageView>();
    auto signal = rt::make<FKSignal>();
    bindSourceSignal(view, signal, placeholder, 30);
    std::string url = origin->url("/image.png");
    signal->setValue(rt::Value(url));
    EXPECT_EQ(view->image(), placeholder);
    ASSERT_TRUE(waitFor([&] { return view->image() != placeholder; }));
    EXPECT_EQ(origin->requests(), 1);

    signal->setValue(rt::Value());
    signal->setValue(rt::Value(url));
    EXPECT_NE(view->image(), placeholder) << "served from the expiring cache at once";
    EXPECT_EQ(origin->requests(), 1);

    advance(31);
    signal->setValue(rt::Value());
    signal->setValue(rt::Value(url));
    ASSERT_TRUE(waitFor([&] { return origin->requests() == 2 && view->image() != placeholder; }))
        << "an expired entry is fetched again, past the memory cache";

    // A failure shows the placeholder.
    signal->setValue(rt::Value(origin->url("/missing.png")));
    ASSERT_TRUE(waitFor([&] { return origin->requests() == 3; }));
    ASSERT_TRUE(waitFor([&] { return view->image() == placeholder; }));
}

TEST_F(ImageFetching, RequestsForURLStrings) {
    EXPECT_EQ(imageRequestWithURLString("not a url", true), nullptr);
    EXPECT_EQ(imageRequestWithURLString("", true), nullptr);
    auto cached = imageRequestWithURLString("https://example.invalid/a.png", true);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->cachePolicy(), fnd::URLRequestCachePolicy::UseProtocolCachePolicy);
    EXPECT_EQ(cached->timeoutInterval(), 60);
    EXPECT_EQ(imageRequestWithURLString("https://example.invalid/a.png", false)->cachePolicy(),
              fnd::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
    EXPECT_TRUE(QXImageRequestOperation::isLoadableURL("HTTPS://x/y"));
    EXPECT_TRUE(QXImageRequestOperation::isLoadableURL("file:///x"));
    EXPECT_FALSE(QXImageRequestOperation::isLoadableURL("data:image/png;base64,AAAA"));
    EXPECT_EQ(QXImageRequestOperation::localPathOfFileURL("file://localhost/a%20b"), std::optional<std::string>("/a b"));
    EXPECT_EQ(QXImageRequestOperation::localPathOfFileURL("file://elsewhere/a"), std::nullopt);
    // An escaped NUL would end the path early where the system reads it ("/tmp/a.png"
    // for a URL that names a ".jpg"): such a URL names no file.
    EXPECT_EQ(QXImageRequestOperation::localPathOfFileURL("file:///tmp/a.png%00.jpg"), std::nullopt);
    EXPECT_EQ(QXImageRequestOperation::localPathOfFileURL("file:///tmp/%00"), std::nullopt);
}

TEST(KitResources, ImagesOfTheKitBundleByFileName) {
    auto loading = qxUIKitImageNamed("generic_icon_pulltorefresh_normal.png");
    ASSERT_NE(loading, nullptr);
    EXPECT_GT(loading->pixelWidth(), 0);
    // First piece is the name, last the type.
    EXPECT_NE(qxUIKitImageNamed("generic_icon_pulltorefresh_normal.unused.png"), nullptr);
    EXPECT_EQ(qxUIKitImageNamed("generic_icon_pulltorefresh_normal.jpg"), nullptr);
    EXPECT_EQ(qxUIKitImageNamed("missing.png"), nullptr);
    EXPECT_EQ(qxUIKitImageNamed("png"), nullptr) << "a bare name is name and type: png.png is not there";
}

TEST(KitResources, ANameThatLeavesItsBundleLoadsNothing) {
    auto kit = QXUIKitBundle();
    ASSERT_TRUE(kit);
    // The player's bundle sits beside the kit's: reachable with "../", but not by name.
    auto beside = fnd::Bundle::bundleWithPath(kit->bundlePath() + "/../QXCorePlayer.bundle");
    ASSERT_TRUE(beside);
    ASSERT_NE(imageNamedInBundle(*beside, "player_pip_normal.png"), nullptr);
    EXPECT_EQ(imageNamedInBundle(*kit, "../QXCorePlayer.bundle/player_pip_normal.png"), nullptr);
    EXPECT_EQ(imageNamedInBundle(*kit, "../QXCorePlayer.bundle/player_pip_normal"), nullptr);
    EXPECT_EQ(imageNamedInBundle(*kit, "x/../../QXCorePlayer.bundle/player_pip_normal.png"), nullptr);
    EXPECT_NE(imageNamedInBundle(*kit, "generic_icon_pulltorefresh_normal.png"), nullptr);
}
