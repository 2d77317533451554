#include <web/WebEngine.h>

#include <atomic>
#include <mutex>

#include <web/FakeWebEngine.h>

namespace web {

namespace {

std::mutex factoryMutex;
WebEngineFactory& currentFactory() {
    static WebEngineFactory factory;
    return factory;
}
std::atomic<unsigned long> clearCount{0};

}  // namespace

WebEngineFactory setWebEngineFactory(WebEngineFactory factory) {
    std::lock_guard<std::mutex> lock(factoryMutex);
    WebEngineFactory previous = std::move(currentFactory());
    currentFactory() = std::move(factory);
    return previous;
}

std::unique_ptr<WebEngine> makeWebEngine() {
    WebEngineFactory factory;
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        factory = currentFactory();
    }
    if (factory) {
        if (auto engine = factory()) return engine;
    }
    // No real engine in this build: pages are scripted, never rendered.
    return std::make_unique<FakeWebEngine>();
}

bool isRealEngineAvailable() { return false; }

void clearAllWebsiteData() { ++clearCount; }

unsigned long websiteDataClearCount() { return clearCount.load(); }

}  // namespace web
