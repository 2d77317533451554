#pragma once
// A doubly linked list that runs through its elements: each element keeps its own
// previous and next pointers (the two members the list is named with), so adding and
// removing make and free nothing and cost the same whatever the length. An element is
// on at most one list per pair of members. The list owns nothing and takes no lock: its
// owner guards it, and keeps its elements alive while they are on it.

#include <cstddef>

namespace fnd {

template <class T, T* T::*Previous, T* T::*Next> class IntrusiveList {
public:
    IntrusiveList() = default;
    IntrusiveList(const IntrusiveList&) = delete;
    IntrusiveList& operator=(const IntrusiveList&) = delete;

    T* first() const { return first_; }
    /// The element after `element` on the list, or null after the last.
    static T* next(const T& element) { return element.*Next; }
    std::size_t size() const { return size_; }
    bool empty() const { return first_ == nullptr; }

    /// Appends an element that is on no list of these members.
    void pushBack(T& element) {
        element.*Previous = last_;
        element.*Next = nullptr;
        if (last_) last_->*Next = &element;
        else first_ = &element;
        last_ = &element;
        ++size_;
    }

    /// Takes an element that is on this list off it.
    void remove(T& element) {
        if (element.*Previous) element.*Previous->*Next = element.*Next;
        else first_ = element.*Next;
        if (element.*Next) element.*Next->*Previous = element.*Previous;
        else last_ = element.*Previous;
        element.*Previous = element.*Next = nullptr;
        --size_;
    }

private:
    T* first_ = nullptr;
    T* last_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace fnd
