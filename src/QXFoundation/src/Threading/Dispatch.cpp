#include <QXFoundation/Threading/Dispatch.h>

#include <mutex>

namespace zid {

namespace {
constexpr const char* kMakerLabel = "com.zidoredider";
}

rt::Ref<fnd::Queue> dispatch_get_bg_queue() {
    return dispatch_get_bg_queue_with_name((std::string(kMakerLabel) + ".bg_queue").c_str());
}

rt::Ref<fnd::Queue> dispatch_get_bg_queue_with_name(const char* name) {
    static std::once_flag once;
    static rt::Ref<fnd::Queue>* queue = nullptr;  // lives for the rest of the process
    std::call_once(once, [name] { queue = new rt::Ref<fnd::Queue>(fnd::Queue::serial(name ? name : "")); });
    return *queue;
}

void performBlockOnMain(std::function<void()> block) {
    // The main queue lives for the process: no reference to it per post (posts come from
    // many threads at once, and each reference would touch one shared count).
    static fnd::Queue* const mainQueue = fnd::Queue::main().get();
    mainQueue->async(std::move(block));
}

void performBlockOnBackground(std::function<void()> block) { dispatch_get_bg_queue()->async(std::move(block)); }

bool isTesting() { return false; }

}  // namespace zid
