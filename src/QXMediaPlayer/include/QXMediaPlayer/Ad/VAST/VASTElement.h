#pragma once
// A read-only view of one element of the VAST document being read: its name, its
// attributes, its text and its element children. A view is valid only during the parse
// that handed it out. The document is seen as the reader reads it: comments and
// processing instructions are gone, CDATA is text, names are compared exactly.
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace zid {

class VASTChildren;

/// What the iterators over an element's attributes and children share: the traits of a
/// forward iterator and the postfix step, made from the iterator's own prefix step.
template <class Iterator, class Value, class Reference, class Pointer> class VASTForwardIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Value;
    using difference_type = std::ptrdiff_t;
    using pointer = Pointer;
    using reference = Reference;
    Iterator operator++(int) {
        Iterator before = static_cast<Iterator&>(*this);
        ++static_cast<Iterator&>(*this);
        return before;
    }
};

/// One attribute of an element: its name and its value, entities already replaced.
struct VASTAttribute {
    std::string_view name;
    std::string_view value;
};

class VASTElement {
public:
    /// No element: false in a test, with no name, attributes, text or children.
    VASTElement() = default;
    explicit operator bool() const { return node_ != nullptr; }
    bool operator==(const VASTElement& other) const { return node_ == other.node_; }

    /// The element's name ("" for no element).
    std::string_view name() const { return name_ ? std::string_view(name_) : std::string_view(); }
    /// True when the element is there and has exactly this name (case-sensitive). The
    /// readers ask it of every child they look at, so it is inline and measures nothing.
    bool hasName(std::string_view name) const {
        if (!name_) return false;
        const char* held = name_;
        for (char c : name)
            if (*held == '\0' || *held++ != c) return false;
        return *held == '\0';
    }

    /// The value of the attribute of that name; nothing when the element has none.
    std::optional<std::string_view> attribute(std::string_view name) const;

    /// The whole text content: every text and CDATA piece below the element, in document
    /// order, joined.
    std::string text() const;
    /// text without whitespace and line breaks at either end.
    std::string trimmedText() const;

    /// The first child element, whatever its name (text beside it is passed over).
    VASTElement firstChild() const;
    /// The first child element of that name.
    VASTElement child(std::string_view name) const;
    /// The element that follows this one in its parent.
    VASTElement nextSibling() const;

    /// The element children in document order: for (VASTElement c : e.children()).
    VASTChildren children() const;

    /// The attributes in document order: for (VASTAttribute a : e.attributes()).
    class AttributeIterator : public VASTForwardIterator<AttributeIterator, VASTAttribute, VASTAttribute, void> {
    public:
        AttributeIterator() = default;
        VASTAttribute operator*() const;
        AttributeIterator& operator++();
        using VASTForwardIterator::operator++;
        bool operator==(const AttributeIterator& other) const { return at_ == other.at_; }

    private:
        friend class VASTElement;
        explicit AttributeIterator(void* at) : at_(at) {}
        void* at_ = nullptr;
    };
    struct Attributes {
        AttributeIterator first;
        AttributeIterator begin() const { return first; }
        AttributeIterator end() const { return AttributeIterator(); }
    };
    Attributes attributes() const;

private:
    // The reader's document hands out views of its elements.
    friend class VASTXmlDocument;
    /// The view of a node of the DOM (nothing for none).
    static VASTElement of(void* node);
    /// The view of the node or of the first element after it among its siblings.
    static VASTElement elementFrom(void* node);
    void* node_ = nullptr;
    const char* name_ = nullptr;  // the DOM's own text, read once per view
};

class VASTChildIterator
    : public VASTForwardIterator<VASTChildIterator, VASTElement, const VASTElement&, const VASTElement*> {
public:
    VASTChildIterator() = default;
    explicit VASTChildIterator(VASTElement at) : at_(at) {}
    const VASTElement& operator*() const { return at_; }
    const VASTElement* operator->() const { return &at_; }
    VASTChildIterator& operator++() {
        at_ = at_.nextSibling();
        return *this;
    }
    using VASTForwardIterator::operator++;
    bool operator==(const VASTChildIterator& other) const { return at_ == other.at_; }

private:
    VASTElement at_;
};

class VASTChildren {
public:
    explicit VASTChildren(VASTElement first) : first_(first) {}
    VASTChildIterator begin() const { return VASTChildIterator(first_); }
    VASTChildIterator end() const { return VASTChildIterator(); }

private:
    VASTElement first_;
};

inline VASTChildren VASTElement::children() const { return VASTChildren(firstChild()); }

}  // namespace zid
