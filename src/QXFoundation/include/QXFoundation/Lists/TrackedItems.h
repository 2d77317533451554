#pragma once
// The items an array list tracks, by identity: for each, how many positions hold it and
// the item's listener table, where the list is registered. An open-addressing table
// (linear probing; a removal shifts the entries after it back, so no tombstones): no
// allocation per item and one cache line per look-up, also on lists of a hundred
// thousand items and more.

#include <cstddef>
#include <vector>

#include <QXFoundation/Listening/ListenerTable.h>

namespace zid {

class TrackedItems {
public:
    struct Entry {
        const void* key = nullptr;  // null: a free slot
        std::size_t occurrences = 0;
        rt::Ref<ListenerTable> table;
    };

    /// The entry of key (not null), made with no occurrences when there is none. It stays
    /// valid until the next insert or removal.
    Entry& operator[](const void* key);
    /// The entry of key, or null.
    Entry* find(const void* key);
    /// Removes an entry answered by operator[] or find.
    void erase(Entry& entry);
    void clear();
    /// Makes room for n entries without growing.
    void reserve(std::size_t n);
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    std::size_t home(const void* key) const;
    void rehash(std::size_t capacity);

    std::vector<Entry> slots_;  // a power of two in size, at most half full
    std::size_t size_ = 0;
};

}  // namespace zid
