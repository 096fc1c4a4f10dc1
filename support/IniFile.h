#pragma once
// A small reader and writer of INI files (UTF-8, optional BOM), standing in for
// GetPrivateProfileStringW / WritePrivateProfileStringW.
//
// Reading: section and key names compare without regard to ASCII case, blanks around names
// and values are dropped, one pair of matching quotes around a value is removed, lines that
// start with ';' or '#' are comments. The first matching section and key win.
//
// Writing replaces the key's line in place (or adds the key at the end of its section, or
// adds the section at the end of the file), keeps every other line as it was, creates the
// missing folders, and replaces the file atomically (temporary file beside it + rename).
#include <string>

// The value of `key` in `section` of the file at `path`, or `defaultValue` when the file,
// the section or the key is missing.
std::u16string ReadIniValue(const std::u16string& path, const std::u16string& section,
                            const std::u16string& key, const std::u16string& defaultValue = std::u16string());

// Writes `key`=`value` into `section`. False when a name is empty or holds characters that the
// format cannot carry (line breaks; '=' in a key; ']' in a section name), when the value holds
// a line break, or when the file cannot be written.
bool WriteIniValue(const std::u16string& path, const std::u16string& section,
                   const std::u16string& key, const std::u16string& value);
