#pragma once
// Files named by a learning unit, and copies of them: what keeps them inside the unit's own
// folders, and what keeps a failed copy from passing for a whole file.
#include <filesystem>
#include <string>
#include <system_error>

// True when `folder` is a folder of its own, not a symbolic link to one.
bool IsRealFolder(const std::filesystem::path& folder);
// True when `path` exists and, with every link on its way followed, names something strictly
// inside `folder` (resolved the same way).
bool LiesInside(const std::filesystem::path& folder, const std::filesystem::path& path);
// Copies the file `source` to `target` under a temporary name beside it, then renames the copy
// over `target` (a file or a link there is replaced, not written through). A copy that fails
// leaves no part-written file under either name. The error, or none.
std::error_code CopyFileThroughTemporary(const std::filesystem::path& source, const std::filesystem::path& target);
// True when both files can be read whole and hold the same bytes; otherwise false, with why
// in `problem` (an error text, or where they first differ).
bool SameFileBytes(const std::filesystem::path& first, const std::filesystem::path& second, std::string& problem);
