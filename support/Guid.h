#pragma once
#include <string>

// A new random (version 4) GUID as 32 upper-case hexadecimal digits without separators:
// the first 32-bit field, the two 16-bit fields and the eight bytes in order. Empty text
// when no random bytes can be had.
std::u16string NewGuidText();
