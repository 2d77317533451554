#include "Extensions/ViewLoadFromNib.h"

#include <map>
#include <mutex>

namespace zid {

namespace {
struct Registry {
    std::mutex mutex;
    std::map<std::string, QXNibFactory> nibs;
};
Registry& registry() {
    static auto* r = new Registry;
    return *r;
}
}  // namespace

void registerNib(const std::string& nibName, QXNibFactory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (factory) r.nibs[nibName] = std::move(factory);
    else r.nibs.erase(nibName);
}

rt::Value createWithClass(const rt::Class& cls, const rt::Ref<fnd::Bundle>&, const rt::Dictionary& options) {
    QXNibFactory factory;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.nibs.find(cls.name());
        if (it == r.nibs.end()) return {};
        factory = it->second;
    }
    auto objects = factory(options);
    if (objects.empty()) return {};
    return objects.back();
}

rt::Value createFromMainBundleWithClass(const rt::Class& cls, const rt::Dictionary& options) {
    return createWithClass(cls, nullptr, options);
}

}  // namespace zid
