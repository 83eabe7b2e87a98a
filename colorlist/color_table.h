// The colour list's table: per row, its colours and the caller's item data, found under a key
// that the row carries as its platform item data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

struct ItemColor {
    std::uint32_t text;        // COLORREF
    std::uint32_t background;  // COLORREF
    std::uintptr_t data;       // the caller's item data
};

class ColorTable {
public:
    // Signed, so that at either width the row's item data is the key sign-extended: -2, -3, ...
    using Key = std::int32_t;

    // The entry of a new row, under a key no row of this table has had: keys count down from
    // -2, so they never meet the small values callers tend to use.
    Key Add(std::uint32_t text, std::uint32_t background);
    void Remove(Key key) { m_entries.erase(key); }
    // Null for a key without an entry.
    const ItemColor* Find(Key key) const;
    // The caller's data; 0 for a key without an entry.
    std::uintptr_t Data(Key key) const;
    // A key without an entry gains one, with both colours 0.
    void SetData(Key key, std::uintptr_t data);
    std::size_t Size() const { return m_entries.size(); }

private:
    std::unordered_map<Key, ItemColor> m_entries;
    std::int32_t m_nNextKey = -1;
};
