#include <QXMediaPlayer/Ad/VAST/VASTElement.h>

#include "Ad/VAST/VASTXmlDocument.h"

#include <pugixml.hpp>

#include <bit>
#include <type_traits>

namespace zid {

namespace {

// pugixml's handles are one pointer each, and every one of their members, even the
// constructor and the test for null, is a call into the shared library. The view moves
// between handle and pointer by bit_cast, which costs nothing, so a step from one child
// to the next calls pugixml twice (the sibling, its name), as few times as the readers
// did on the DOM itself.
static_assert(sizeof(pugi::xml_node) == sizeof(void*) && std::is_trivially_copyable_v<pugi::xml_node>);
static_assert(sizeof(pugi::xml_attribute) == sizeof(void*) && std::is_trivially_copyable_v<pugi::xml_attribute>);

pugi::xml_node nodeOf(void* node) { return std::bit_cast<pugi::xml_node>(node); }
void* pointerOf(pugi::xml_node node) { return std::bit_cast<void*>(node); }
pugi::xml_attribute attributeOf(void* attribute) { return std::bit_cast<pugi::xml_attribute>(attribute); }
void* pointerOf(pugi::xml_attribute attribute) { return std::bit_cast<void*>(attribute); }

// Names are compared against the DOM's own C strings, without measuring them first.
bool sameName(const char* held, std::string_view name) {
    for (char c : name)
        if (*held == '\0' || *held++ != c) return false;
    return *held == '\0';
}

}  // namespace

VASTElement VASTElement::of(void* node) {
    VASTElement element;
    if (!node) return element;
    element.node_ = node;
    element.name_ = nodeOf(node).name();
    return element;
}

VASTElement VASTElement::elementFrom(void* at) {
    // Under the reader's parse options a node is an element or text, and only an element
    // has a name: one call tells both.
    while (at) {
        pugi::xml_node node = nodeOf(at);
        const char* name = node.name();
        if (*name) {
            VASTElement element;
            element.node_ = at;
            element.name_ = name;
            return element;
        }
        at = pointerOf(node.next_sibling());
    }
    return {};
}

std::optional<std::string_view> VASTElement::attribute(std::string_view name) const {
    if (!node_) return std::nullopt;
    for (void* at = pointerOf(nodeOf(node_).first_attribute()); at;) {
        pugi::xml_attribute a = attributeOf(at);
        if (sameName(a.name(), name)) return std::string_view(a.value());
        at = pointerOf(a.next_attribute());
    }
    return std::nullopt;
}

std::string VASTElement::text() const { return node_ ? VASTXmlDocument::textOf(nodeOf(node_)) : std::string(); }

std::string VASTElement::trimmedText() const {
    return node_ ? VASTXmlDocument::trimmedTextOf(nodeOf(node_)) : std::string();
}

VASTElement VASTElement::firstChild() const {
    return node_ ? elementFrom(pointerOf(nodeOf(node_).first_child())) : VASTElement();
}

VASTElement VASTElement::child(std::string_view name) const {
    if (!node_) return {};
    for (VASTElement c = firstChild(); c; c = c.nextSibling())
        if (c.hasName(name)) return c;
    return {};
}

VASTElement VASTElement::nextSibling() const {
    return node_ ? elementFrom(pointerOf(nodeOf(node_).next_sibling())) : VASTElement();
}

VASTElement::Attributes VASTElement::attributes() const {
    if (!node_) return {};
    return {AttributeIterator(pointerOf(nodeOf(node_).first_attribute()))};
}

VASTAttribute VASTElement::AttributeIterator::operator*() const {
    pugi::xml_attribute a = attributeOf(at_);
    return {a.name(), a.value()};
}

VASTElement::AttributeIterator& VASTElement::AttributeIterator::operator++() {
    at_ = pointerOf(attributeOf(at_).next_attribute());
    return *this;
}

}  // namespace zid
