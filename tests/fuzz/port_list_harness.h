// Hostile input for the port list refresh: bytes become lists of port values with arbitrary
// names and data, each list is refreshed into a colour list on the list model, and the result
// is held against an oracle of its own after every refresh.
//
// An input is a series of records, each starting with a little-endian 16-bit word w:
//   0xFFFF     refresh with the values gathered so far, then gather a new list
//   0xFFFE     refresh from a source that cannot be opened: nothing may change
//   otherwise  one value: a name of w % 401 bytes, a 16-bit word v, data of v % 401 bytes
//              (a length running past the end of the input takes what is left)
// At the end the last list is refreshed, and then once more, which must change nothing.
//
// Names are used as they are. In data every '/' becomes '_': the probe opens the data as a
// path, and a path without '/' names an entry of the working directory, which during a refresh
// is a private directory holding nothing but one file that opens and one held locked. So no
// device and no file of anyone else's is ever opened, and all four statuses come up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// True when every refresh of the input did what the rules say; otherwise false, with what
// went wrong in *failure.
bool CheckPortListInput(const std::uint8_t* bytes, std::size_t size, std::string* failure);
