#include "QXCorePlayer/VexaWebSocketClient/Model/QXVexaModel.h"

#include <rt/Format.h>

namespace zid {

rt::Value QXVexaModel::modelValue(const std::string&) const { return {}; }

rt::Dictionary QXVexaModel::dictionaryRepresentation() const {
    rt::Dictionary dictionary;
    auto map = propertyMap();
    for (const auto& name : propertyNames()) {
        rt::Value value = modelValue(name);
        if (value.isNil()) continue;
        auto wire = map.find(name);
        dictionary.set(wire == map.end() ? name : wire->second, value);
    }
    return dictionary;
}

bool QXVexaModel::isEqual(const rt::Object& other) const {
    if (this == &other) return true;
    if (!other.isKindOf(objectClass())) return false;
    const auto& model = static_cast<const QXVexaModel&>(other);
    for (const auto& name : propertyNames()) {
        rt::Value mine = modelValue(name);
        rt::Value theirs = model.modelValue(name);
        if (mine.isNil() && theirs.isNil()) continue;
        if (!mine.isEqual(theirs)) return false;
    }
    return true;
}

std::size_t QXVexaModel::hash() const { return std::hash<std::string>()(className()); }

std::string QXVexaModel::description() const {
    std::string text = rt::Object::description();
    for (const auto& name : propertyNames()) text += rt::format("\n%@: %@", name, modelValue(name));
    return text;
}

}  // namespace zid
