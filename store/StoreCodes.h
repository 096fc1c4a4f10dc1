#pragma once
// Store result and last-error codes.
#include <cstdint>

// An SQLite error was caught, or the file cannot be opened or read.
constexpr int32_t kTavSqliteError = 0x20001F3D;
// The account may not read the unit, or the import failed.
constexpr int32_t kTavImportFailed = 0x20001F46;
// A literature has no reading-state row.
constexpr int32_t kTavNoReadingState = 0x20001F49;

#include <string>

// A short text for a store result, for front ends ("0x20001F3D: ...").
std::u16string DescribeStoreResult(int32_t code);
