#include "app/console/LibraryJson.h"

#include "library/LibraryColumns.h"
#include "support/TextConvert.h"

using nlohmann::ordered_json;

namespace {

std::string U8(const std::u16string& text)
{
    return WideToUtf8(text);
}

// Adds every column of `columns` that `object` does not hold yet, in the columns' order.
template <typename Record>
void AddColumns(ordered_json& object, const SColumnSet<Record>& columns, const Record& record)
{
    for (const auto& column : columns.texts) {
        const std::string key = U8(column.name);
        if (!object.contains(key))
            object[key] = U8(record.*column.member);
    }
    for (const auto& column : columns.ints) {
        const std::string key = U8(column.name);
        if (!object.contains(key))
            object[key] = record.*column.member;
    }
}

ordered_json FolderJson(const SLibraryFolderNode& node, const SLibraryEntryContents& contents)
{
    ordered_json folder;
    folder["FolderGuid"] = U8(node.Folder->FolderGuid);
    folder["ParentGuid"] = U8(node.Folder->ParentGuid);
    folder["Name"] = U8(node.Folder->Name);
    ordered_json literature = ordered_json::array();
    const auto filed = contents.FolderLiterature.find(node.Folder->FolderGuid);
    if (filed != contents.FolderLiterature.end()) {
        for (const std::u16string& literGuid : filed->second)
            literature.push_back(U8(literGuid));
    }
    folder["literature"] = std::move(literature);
    return folder;
}

ordered_json LiteratureJson(const SLiteratureInfo& info, const SLibraryEntryContents& contents)
{
    ordered_json literature;
    literature["LiterGuid"] = U8(info.LiterGuid);
    AddColumns(literature, LiteratureColumns(), info);
    literature["TavGuid"] = U8(info.TavGuid);
    const auto relate = contents.Relates.find(info.LiterGuid);
    if (relate == contents.Relates.end() || !relate->second) {
        literature["relate"] = nullptr;
    } else {
        ordered_json state;
        state["LiterGuid"] = U8(relate->second->LiterGuid);
        AddColumns(state, RelateColumns(), *relate->second);
        literature["relate"] = std::move(state);
    }
    return literature;
}

ordered_json NoteJson(const SLibraryNote& entry)
{
    const SNoteInfo& info = *entry.Note;
    ordered_json note;
    note["PosID"] = U8(info.PosID);
    note["LiterGuid"] = U8(info.LiterGuid);
    note["TypeID"] = info.TypeID;
    note["Title"] = U8(info.Title);
    note["Content"] = U8(info.Content);
    note["Comments"] = U8(info.Comments);
    AddColumns(note, NoteColumns(), info);
    note["TavGuid"] = U8(info.TavGuid);
    ordered_json labels = ordered_json::array();
    for (const std::u16string& label : entry.Labels)
        labels.push_back(U8(label));
    note["labels"] = std::move(labels);
    return note;
}

// Where the entry came from; null for an entry made before sources were recorded.
ordered_json SourceJson(const SLibraryEntry& entry)
{
    if (entry.SourceTavId.empty())
        return nullptr;
    ordered_json source;
    source["TavId"] = U8(entry.SourceTavId);
    source["path"] = U8(entry.SourcePath);
    source["version"] = entry.SourceVersion;
    source["importStart"] = U8(entry.ImportStart);
    source["importEnd"] = entry.Complete ? ordered_json(U8(entry.CompleteTime)) : ordered_json(nullptr);
    return source;
}

} // namespace

ordered_json EntryToJson(const SLibraryEntryContents& contents)
{
    ordered_json document;
    document["TavGuid"] = U8(contents.Entry.TavGuid);
    document["Name"] = U8(contents.Entry.Name);
    document["complete"] = contents.Entry.Complete;
    document["source"] = SourceJson(contents.Entry);

    ordered_json folders = ordered_json::array();
    for (const SLibraryFolderNode& node : contents.Folders)
        folders.push_back(FolderJson(node, contents));
    document["folders"] = std::move(folders);

    ordered_json literature = ordered_json::array();
    for (const auto& info : contents.Literature)
        literature.push_back(LiteratureJson(*info, contents));
    document["literature"] = std::move(literature);

    ordered_json notes = ordered_json::array();
    for (const SLibraryNote& note : contents.Notes)
        notes.push_back(NoteJson(note));
    document["notes"] = std::move(notes);

    ordered_json attachments = ordered_json::array();
    for (const SLibraryAttachment& attachment : contents.Attachments)
        attachments.push_back({{"stored", U8(attachment.StoredPath)}, {"source", U8(attachment.SourcePath)}});
    document["attachments"] = std::move(attachments);
    return document;
}

std::string EntryJsonText(const SLibraryEntryContents& contents)
{
    // WideToUtf8 already turns broken text into U+FFFD; replacing here as well means a dump can
    // never throw on text.
    return EntryToJson(contents).dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}
