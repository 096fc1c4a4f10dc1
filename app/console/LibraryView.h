#pragma once
// The text views of `tavtool library`: what a user reads on the console. UTF-8, one item a line;
// line breaks and other control characters inside library texts are shown as blanks.
#include "library/LibraryReader.h"

#include <string>
#include <vector>

// One line per entry: TavGuid, created, complete or incomplete, the counts, the name, and where
// recorded the unit's file name and the first 8 digits of its TavId.
std::string FormatEntryLine(const SLibraryEntry& entry);
std::string FormatEntryList(const std::vector<SLibraryEntry>& entries);

// The entry's folder tree with the literature filed in each folder (title, DOI, reading state)
// and each literature's notes with their labels; then what hangs in no folder, and the
// attachments.
std::string FormatEntryContents(const SLibraryEntryContents& contents);
