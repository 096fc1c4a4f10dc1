#pragma once
// Conversions between UTF-16 wide text and UTF-8. Invalid input never fails and never
// reads past the end: a broken sequence becomes U+FFFD.
#include <string>
#include <string_view>

std::string WideToUtf8(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);

// Convenience for literals and log formatting in the rest of the code.
std::u16string ToWide(std::string_view utf8);
