#pragma once
// Checks of a learning-unit file that only read it: used before the driver writes anything,
// to verify a backup copy, and by the inspector.
#include "sqlite/SqliteDB.h"

#include <cstdint>
#include <span>
#include <string>

// The tables that the creation pass makes, in its order.
std::span<const char16_t* const> CreatedLayoutTables();

// Opens `path` (no trigger runs), with the unit key when the file does not read without it.
// 0 on success, with `encrypted` set; otherwise SQLite's code, with `error` set. Read-only
// leaves the file as it is; read-write lets the last connection tidy a write-ahead log away.
enum class EUnitOpen { ReadOnly, ReadWrite };
int32_t OpenUnitFile(CSqliteDB& db, const std::u16string& path, EUnitOpen mode, bool& encrypted, std::u16string& error);
// "ok", or the first finding of PRAGMA quick_check, or the error that stopped it.
std::u16string QuickCheck(CSqliteDB& db);
// Empty, or a text such as "WebPage_Info is a view" for the first table of the layout
// (VersionInfo included) that the file holds as a view or a virtual table.
std::u16string FindForeignLayoutObject(CSqliteDB& db);
// VersionInfo.VersionNum of the last row as a 64-bit number (NULL and no row give 0).
// Database errors pass to the caller.
int64_t ReadVersionNum(CSqliteDB& db);
