#include "Extensions/Tagging.h"

#include <algorithm>

#include <rt/ChangeScope.h>

namespace zid {

namespace {
constexpr const char* TagsKey = "__tags";
constexpr const char* ObservedKey = "tags";

bool contains(const rt::Value::Array& tags, std::string_view tag) {
    return std::any_of(tags.begin(), tags.end(), [&](const rt::Value& t) { return t.isString() && t.string() == tag; });
}
}  // namespace

rt::Value tags(const rt::Object& object) { return object.associatedObject(TagsKey); }

bool hasTag(const rt::Object& object, std::string_view tag) {
    auto current = tags(object);
    return current.isArray() && contains(current.array(), tag);
}

void addTag(rt::Object& object, std::string_view tag) {
    auto current = tags(object);
    rt::Value::Array list = current.isArray() ? current.array() : rt::Value::Array{};
    if (contains(list, tag)) return;
    rt::ChangeScope scope(object, ObservedKey);
    list.push_back(rt::Value(tag));
    object.setAssociatedObject(rt::Value(std::move(list)), TagsKey);
}

void addTags(rt::Object& object, const std::vector<std::string>& tags) {
    for (const auto& tag : tags) addTag(object, tag);
}

void removeTag(rt::Object& object, std::string_view tag) {
    auto current = tags(object);
    if (!current.isArray() || !contains(current.array(), tag)) return;
    rt::ChangeScope scope(object, ObservedKey);
    rt::Value::Array list = current.array();
    std::erase_if(list, [&](const rt::Value& t) { return t.isString() && t.string() == tag; });
    object.setAssociatedObject(rt::Value(std::move(list)), TagsKey);
}

}  // namespace zid
