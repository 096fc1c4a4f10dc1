#pragma once
// Attachment files of the library: copying a source file into an entry's folder.
#include <cstdint>
#include <filesystem>
#include <string>

// True when both files hold the same bytes.
bool SameFileContent(const std::filesystem::path& first, const std::filesystem::path& second);

// Copies the file `source` into `folder` (created when missing) under its own name. When a file of that name
// with other content is there already, it stays and the copy is named "title (2).ext",
// "title (3).ext", ...; when the same content is there, nothing is copied. `stored` receives
// the file in the folder, `created` whether this call made it. Returns a LibraryResult.
int32_t CopyAttachmentInto(const std::filesystem::path& source, const std::filesystem::path& folder,
                           std::filesystem::path& stored, bool& created);
