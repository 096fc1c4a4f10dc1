#pragma once
#include <string>

// A new random (version 4) GUID as 32 upper-case hexadecimal digits without separators:
// the first 32-bit field, the two 16-bit fields and the eight bytes in order. Empty text
// when no random bytes can be had.
std::u16string NewGuidText();

// A new time-ordered (version 7) GUID in the same form: 48 bits of Unix time in milliseconds, a
// 12-bit counter within the millisecond, then random bits. Each one sorts after every earlier
// one of this process, so rows keyed by them are added at the end of their index, not all over
// it. Empty text when no random bytes can be had.
std::u16string NewOrderedGuidText();
