#pragma once
// The account and sync folder that a console command works with.
#include <string>

// Applies --account and --sync-dir (each only when given) for the whole process and returns the
// account the command acts for: the one given, else the one the desktop application is signed
// in with (empty when none).
std::u16string ApplyAccountOptions(const std::string& account, const std::string& syncDir);
