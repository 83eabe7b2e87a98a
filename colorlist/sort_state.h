// A column's sort state, kept in the two low bits of its header item's application value
// (1 ascending, 2 descending); the other bits are the caller's and are carried along.
#pragma once

#include <cstdint>

constexpr std::intptr_t kSortBits = 3;
constexpr std::intptr_t kSortAscending = 1;
constexpr std::intptr_t kSortDescending = 2;

// A column's value after a click on the heading of `clicked`: the clicked column turns from
// ascending to descending and from anything else to ascending, except that the unused state 3
// is left as it is; every other column loses its state.
constexpr std::intptr_t NextSortValue(std::intptr_t value, bool clicked) {
    if (!clicked) return value & ~kSortBits;
    if ((value & kSortBits) == kSortAscending) return (value & ~kSortBits) | kSortDescending;
    if ((value & kSortBits) == kSortBits) return value;
    return (value & ~kSortBits) | kSortAscending;
}

// How the clicked column sorts once its value has turned.
constexpr bool SortsAscending(std::intptr_t clickedValue) {
    return (clickedValue & kSortBits) != kSortDescending;
}
