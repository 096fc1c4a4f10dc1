#pragma once
// A sync folder chosen by the front end (for example from the command line); it takes the
// place of the desktop application's settings for this process.
#include <string>

// An empty path removes the override. A missing final '/' is added.
void SetSyncPathOverride(const std::u16string& path);
// The override, or empty text when none is set.
std::u16string SyncPathOverride();
