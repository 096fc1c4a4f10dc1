#pragma once
// Making files and renames durable before relying on them.
#include <string>

// fsync of a file (or, with `folder`, of a folder, which makes a rename in it durable).
bool SyncPath(const std::string& path, bool folder = false);
// fsync of the folder that holds `path` ("." when it has no folder part).
bool SyncParentFolder(const std::string& path);
