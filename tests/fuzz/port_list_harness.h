// Hostile input for the port survey: bytes become lists of port values with arbitrary names
// and data, each list is surveyed, and the rows are held against an oracle of its own.
//
// An input is a series of records, each starting with a little-endian 16-bit word w:
//   0xFFFF     survey the values gathered so far, then gather a new list
//   0xFFFE     survey the values gathered so far from a source that cannot be opened: no rows
//              at all, not even an empty list; the values stay gathered
//   otherwise  one value: a name of w % 401 bytes, a 16-bit word v, data of v % 401 bytes
//              (a length running past the end of the input takes what is left)
// At the end the last list is surveyed.
//
// Names are used as they are. In data every '/' becomes '_': the probe opens the data as a
// path, and a path without '/' names an entry of the working directory, which during a survey
// is a private directory holding nothing but one file that opens and one held locked. So no
// device and no file of anyone else's is ever opened, and all four statuses come up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// True when every survey of the input gave the rows the rules say; otherwise false, with what
// went wrong in *failure.
bool CheckPortListInput(const std::uint8_t* bytes, std::size_t size, std::string* failure);
