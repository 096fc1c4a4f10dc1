#pragma once
// Linux stand-ins for the Windows known folders. All results are UTF-16 paths without a
// trailing separator.
#include <string>

// $XDG_DATA_HOME (default ~/.local/share): stands in for the all-users documents folder.
std::u16string CommonDocumentsFolder();
// $XDG_DOCUMENTS_DIR, else ~/Documents: the user's documents folder.
std::u16string PersonalDocumentsFolder();
// $XDG_CONFIG_HOME (default ~/.config).
std::u16string ConfigFolder();
// $XDG_STATE_HOME (default ~/.local/state).
std::u16string StateFolder();
// The running executable's full path (/proc/self/exe); empty when unknown.
std::u16string ExecutablePath();
