#pragma once
// The JSON view of one library entry (`tavtool library show --json`). Keys are the record field
// names of the library; text goes out as UTF-8.
#include "library/LibraryReader.h"

#include <nlohmann/json.hpp>

#include <string>

// {"TavGuid", "Name", "complete", "source": {"TavId", "path", "version", "importStart", "importEnd"} or
// null, "folders": [{"FolderGuid", "ParentGuid", "Name", "literature":
// [LiterGuid...]}], "literature": [{"LiterGuid", <every stored field>, "relate": {...} or null}],
// "notes": [{"PosID", "LiterGuid", "TypeID", "Title", "Content", "Comments", <the other stored
// fields>, "labels": [...]}], "attachments": [{"stored", "source"}]}
nlohmann::ordered_json EntryToJson(const SLibraryEntryContents& contents);
// The same as indented text ending with a line break.
std::string EntryJsonText(const SLibraryEntryContents& contents);
