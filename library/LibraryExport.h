#pragma once
// `tavtool library export`: the literature of one entry as CSL-JSON, BibTeX or RIS.
#include "library/LibraryReader.h"

#include <filesystem>
#include <string>

enum class EExportFormat { CslJson, Bibtex, Ris };

// "csl-json", "bibtex" or "ris"; false for any other name.
bool ParseExportFormat(const std::string& name, EExportFormat& format);

// Every literature of the entry, in folder walk order and then by title, in `format`.
// Attachment files that lie below `outputFolder` are linked relative to it (empty: absolute).
std::string ExportEntryText(const SLibraryEntryContents& contents, EExportFormat format,
                            const std::filesystem::path& outputFolder);

// Writes `text` to `file` by way of a temporary file beside it that is renamed over it: `file`
// holds either its old content or all of the new. False with `error` set when it fails.
bool WriteFileReplacing(const std::filesystem::path& file, const std::string& text, std::string& error);
