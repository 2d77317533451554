#pragma once
// Tags: a set of strings attached to any object, in order of addition, without
// duplicates. Adding or removing a tag announces a change of the key "tags" to
// key-value observers; a call that changes nothing announces nothing.

#include <string>
#include <string_view>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

void addTag(rt::Object& object, std::string_view tag);
void addTags(rt::Object& object, const std::vector<std::string>& tags);
void removeTag(rt::Object& object, std::string_view tag);
bool hasTag(const rt::Object& object, std::string_view tag);
/// The tags as an array of strings; nil for an object never tagged.
rt::Value tags(const rt::Object& object);

}  // namespace zid
