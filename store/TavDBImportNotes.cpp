// The last phase of the import: notes and highlight labels, pointed at their literature's
// library GUID, and the comments of notes that name items of their literature's note-set.
#include "store/TavDB.h"

#include "library/OvDataMiddle.h"
#include "support/TextConvert.h"

#include <pugixml.hpp>

#include <sstream>

namespace {

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to)
{
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

int CTavDB::ImportNotesAndLabels(const std::u16string& tavGuid)
{
    if (FillNoteInfo() == 0)
        return -1;
    CopyCompanionSubfolder(u"Notes");
    const std::u16string user = ImportUser();

    // A literature's note-set is kept, whole and then parsed, only until its last note is done.
    std::unordered_map<std::u16string, int64_t> notesLeft;
    for (const auto& [id, note] : m_notes)
        notesLeft[note->LiterGuid] += 1;

    const auto total = static_cast<int64_t>(m_notes.size());
    int64_t counter = 0;
    for (const auto& [id, note] : m_notes) {
        counter += 1;
        if (counter * 10 / total == 1) {
            counter = 0;
            m_currentStep += 1;
        }
        Report(m_currentStep, m_totalSteps, (note->TypeID == 10 ? u"导入标注PosID：" : u"导入笔记PosID：") + note->PosID);
        if (ImportCancelCheckpoint())
            return -1;

        std::shared_ptr<SNoteInfo> record;
        CopyNoteInfo(record, note);
        if (const auto found = m_newLiterGuids.find(note->LiterGuid); found != m_newLiterGuids.end())
            record->LiterGuid = found->second;
        record->TavGuid = tavGuid;
        record->OwnerName = user;

        std::list<std::u16string> labels;
        GetLabelInfoByNote(labels, note->PosID);
        Library().AddNote(record, labels, tavGuid, user, 0);

        auto stored = std::make_shared<SNoteInfo>();
        Library().GetNote(stored, record->TavGuid, user, record->PosID, 1);
        if (!stored->LiterGuid.empty()) {
            const std::u16string comments = ExtractNoteComments(note->LiterGuid, stored->PosID);
            const size_t marker = record->Comments.find(u"Comment id");
            if (marker != std::u16string::npos && marker > 0) {
                stored->Comments = comments;
                if (!comments.empty())
                    Library().UpdateNote(stored, stored->TavGuid, user, 1);
            }
        }
        if (--notesLeft[note->LiterGuid] == 0) {
            m_noteSetItems.erase(note->LiterGuid);
            m_markPosByLiterGuid.erase(note->LiterGuid);
        }
    }
    return 0;
}

std::u16string CTavDB::ExtractNoteComments(const std::u16string& oldLiterGuid, const std::u16string& posId)
{
    // A literature's note-set serves each of its notes: it is parsed at the first of them, and
    // its text is let go then (the parsed items hold what the notes need).
    auto cached = m_noteSetItems.find(oldLiterGuid);
    if (cached == m_noteSetItems.end()) {
        const auto found = m_markPosByLiterGuid.find(oldLiterGuid);
        if (found == m_markPosByLiterGuid.end() || found->second.empty())
            return {};
        cached = m_noteSetItems.emplace(oldLiterGuid, SplitNoteSet(found->second)).first;
        m_markPosByLiterGuid.erase(found);
    }
    const SNoteSetItems& items = cached->second;
    const auto item = items.itemById.find(posId);
    // No item of the note-set carries this note's PosID: never hand it another note's item.
    if (item == items.itemById.end())
        return {};
    return items.prefix + item->second + items.suffix;
}

CTavDB::SNoteSetItems CTavDB::SplitNoteSet(const std::u16string& noteSet)
{
    SNoteSetItems items;
    // Without these marks no package can be cut around an item: notes keep their comments.
    const size_t itemsStart = noteSet.find(u"<Item acp=");
    const size_t itemsEnd = noteSet.find(u"</NoteItems>");
    if (itemsStart == std::u16string::npos || itemsEnd == std::u16string::npos || itemsEnd < itemsStart)
        return items;

    pugi::xml_document document;
    const std::string text = WideToUtf8(noteSet);
    if (!document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
        return items;
    try {
        for (const pugi::xpath_node& item : document.select_nodes("//Item")) {
            std::ostringstream serialized;
            item.node().print(serialized, "", pugi::format_raw, pugi::encoding_utf8);
            items.itemById.try_emplace(Utf8ToWide(item.node().attribute("id").value()), Utf8ToWide(serialized.str()));
        }
    } catch (const std::exception&) {
        // pugixml reports XPath trouble (such as running out of memory) by exception.
        items.itemById.clear();
        return items;
    }
    items.prefix = noteSet.substr(0, itemsStart);
    items.suffix = noteSet.substr(itemsEnd);
    ReplaceAll(items.prefix, u"NoteSet", u"Comments");
    ReplaceAll(items.suffix, u"NoteSet", u"Comments");
    return items;
}

int CTavDB::CopyNoteInfo(std::shared_ptr<SNoteInfo>& target, const std::shared_ptr<SPersonalNoteInfo>& source)
{
    if (!source)
        return 0;
    if (!target)
        target = std::make_shared<SNoteInfo>();
    SNoteInfo& t = *target;
    const SPersonalNoteInfo& s = *source;
    t.Title = s.Title;
    t.Content = s.Content;
    t.ContentText = s.ContentText;
    t.Comments = s.Comments;
    t.Location = s.Location;
    t.CreateTime = s.CreateTime;
    t.ModifyTime = s.ModifyTime;
    t.Source = s.Source;
    t.Importance = s.Importance;
    t.TypeID = s.TypeID;
    t.IsPublic = s.IsPublic;
    t.PosID = s.PosID;
    t.Path = s.Path;
    t.Adjunct = s.Adjunct;
    t.KnowledgeID = s.KnowledgeID;
    t.IsCompiled = s.IsCompiled;
    t.recycled = s.recycled;
    t.RecycledAgain = s.recycled;
    t.IsRemoved = s.IsRemoved;
    t.IsModify = s.IsModify;
    t.UnitID = s.UnitID;
    t.CopiedText = s.CopiedText;
    t.CopiedInt = s.CopiedInt;
    return 1;
}
