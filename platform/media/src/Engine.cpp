#include <media/Engine.h>

#include <cstdlib>
#include <mutex>

#include <media/GstEngine.h>
#include <media/ProcessEngine.h>

namespace media {

namespace {
std::mutex& engineMutex() {
    static auto* m = new std::mutex;
    return *m;
}
rt::Ref<Engine>& installedEngine() {
    // Never released: assets made on other threads or at exit may still ask for it.
    static auto* e = new rt::Ref<Engine>;
    return *e;
}
}  // namespace

rt::Ref<Engine> Engine::shared() {
    std::lock_guard lock(engineMutex());
    auto& engine = installedEngine();
    if (!engine) {
        GstEngine::Options options;
        const char* null = std::getenv("ZID_MEDIA_NULL_OUTPUT");
        options.nullOutput = null && *null && std::string(null) != "0";
        // The engine runs in a child process of its own, where an abort or a crash inside
        // the media framework (which parses whatever a stream's servers send) fails the
        // item instead of ending the host. ZID_MEDIA_ENGINE_MODE=inprocess plays in the
        // host's own process.
        const char* mode = std::getenv("ZID_MEDIA_ENGINE_MODE");
        if (mode && std::string(mode) == "inprocess") {
            engine = rt::make<GstEngine>(options);
        } else {
            ProcessEngine::Options process;
            process.engine = options;
            engine = rt::make<ProcessEngine>(process);
        }
    }
    return engine;
}

void Engine::setShared(rt::Ref<Engine> engine) {
    std::lock_guard lock(engineMutex());
    installedEngine() = std::move(engine);
}

}  // namespace media
