#include "colorlist/color_table.h"

ColorTable::Key ColorTable::Add(std::uint32_t text, std::uint32_t background) {
    const Key key = --m_nNextKey;
    m_entries[key] = ItemColor{text, background, 0};
    return key;
}

const ItemColor* ColorTable::Find(Key key) const {
    const auto entry = m_entries.find(key);
    return entry == m_entries.end() ? nullptr : &entry->second;
}

std::uintptr_t ColorTable::Data(Key key) const {
    const ItemColor* entry = Find(key);
    return entry ? entry->data : 0;
}

void ColorTable::SetData(Key key, std::uintptr_t data) {
    const auto entry = m_entries.try_emplace(key, ItemColor{0, 0, 0}).first;
    entry->second.data = data;
}
