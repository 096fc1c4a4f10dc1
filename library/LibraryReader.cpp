#include "library/LibraryReader.h"

#include "library/LibraryColumns.h"
#include "library/LibraryErrors.h"
#include "library/LibrarySql.h"
#include "library/LibraryStatements.h"
#include "library/OvDataMiddle.h"
#include "support/Log.h"

#include <map>
#include <set>

namespace {

// One run of `sql` with `values` bound to its ?s, through the connection's statement cache.
CBoundQuery Bound(CSqliteDB& db, const std::u16string& sql, const std::vector<SqlValue>& values)
{
    return CBoundQuery(db.Prepare(sql), values);
}

// Adds the children of `parent` (and theirs) in depth-first order, every level of them. The walk
// keeps its own list of open levels: a chain of folders as deep as an imported unit held cannot
// overflow the stack. Folders only ever hang under folders added before them, so there is no
// cycle; a hand-edited database that has one still ends, as each folder is added once.
void AppendSubtree(const std::multimap<std::u16string, SLibraryFolderNode>& byParent, const std::u16string& parent,
                   std::vector<SLibraryFolderNode>& out)
{
    using Range = std::pair<std::multimap<std::u16string, SLibraryFolderNode>::const_iterator,
                            std::multimap<std::u16string, SLibraryFolderNode>::const_iterator>;
    std::vector<Range> open{byParent.equal_range(parent)};
    std::set<std::u16string> added;
    while (!open.empty()) {
        Range& level = open.back();
        if (level.first == level.second) {
            open.pop_back();
            continue;
        }
        SLibraryFolderNode node = (level.first++)->second;
        if (!added.insert(node.Folder->FolderGuid).second)
            continue;
        node.Depth = static_cast<int32_t>(open.size()) - 1;
        out.push_back(node);
        open.push_back(byParent.equal_range(node.Folder->FolderGuid));
    }
}

const char16_t* const kEntryColumns =
    u"select u.TavGuid,u.Name,u.Complete,u.CreateTime,u.CompleteTime,"
    u"(select count(*) from Folder f where f.TavGuid=u.TavGuid),"
    u"(select count(*) from Literature l where l.TavGuid=u.TavGuid),"
    u"(select count(*) from Note n where n.TavGuid=u.TavGuid),"
    u"u.SourceTavId,u.SourcePath,u.SourceVersion,u.ImportStart "
    u"from LearningUnit u";

std::vector<SLibraryEntry> QueryEntries(CSqliteDB& db, const std::u16string& condition, const std::vector<SqlValue>& values)
{
    std::vector<SLibraryEntry> entries;
    CBoundQuery query = Bound(db, kEntryColumns + condition + u" order by u.rowid", values);
    for (; !query.IsEof(); query.NextRow()) {
        SLibraryEntry entry;
        entry.TavGuid = query.GetStringValue(0);
        entry.Name = query.GetStringValue(1);
        entry.Complete = query.GetIntField(2) != 0;
        entry.CreateTime = query.GetStringValue(3);
        entry.CompleteTime = query.GetStringValue(4);
        entry.FolderCount = query.GetIntField(5);
        entry.LiteratureCount = query.GetIntField(6);
        entry.NoteCount = query.GetIntField(7);
        entry.SourceTavId = query.GetStringValue(8);
        entry.SourcePath = query.GetStringValue(9);
        entry.SourceVersion = query.GetIntField(10);
        entry.ImportStart = query.GetStringValue(11);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<SLibraryFolderNode> QueryFolderTree(CSqliteDB& db, const std::u16string& tavGuid)
{
    std::multimap<std::u16string, SLibraryFolderNode> byParent;
    CBoundQuery query = Bound(db,
                              u"select f.FolderGuid,f.ParentGuid,f.Name,"
                              u"(select count(*) from FolderLiterature l where l.FolderGuid=f.FolderGuid) "
                              u"from Folder f where f.TavGuid=? order by f.rowid",
                              {tavGuid});
    for (; !query.IsEof(); query.NextRow()) {
        SLibraryFolderNode node;
        node.Folder = std::make_shared<SLiteratureFolder>();
        node.Folder->FolderGuid = query.GetStringValue(0);
        node.Folder->ParentGuid = query.GetStringValue(1);
        node.Folder->Name = query.GetStringValue(2);
        node.Folder->TavGuid = tavGuid;
        node.LiteratureCount = query.GetIntField(3);
        byParent.emplace(node.Folder->ParentGuid, node); // equal keys keep insertion order
    }
    std::vector<SLibraryFolderNode> tree;
    AppendSubtree(byParent, tavGuid, tree);
    return tree;
}

std::vector<std::shared_ptr<SLiteratureInfo>> QueryLiterature(CSqliteDB& db, const std::u16string& sql,
                                                               const std::vector<SqlValue>& values)
{
    std::vector<std::shared_ptr<SLiteratureInfo>> out;
    CBoundQuery query = Bound(db, sql, values);
    for (; !query.IsEof(); query.NextRow()) {
        auto literature = std::make_shared<SLiteratureInfo>();
        literature->LiterGuid = query.GetStringValue(0);
        literature->TavGuid = query.GetStringValue(1);
        LiteratureColumns().Read(query, 2, *literature);
        out.push_back(std::move(literature));
    }
    return out;
}

// Reading states of the entry by LiterGuid; `literGuid` (when given) narrows them to one.
std::map<std::u16string, std::shared_ptr<SLiteratureRelate>> QueryRelates(CSqliteDB& db, const std::u16string& tavGuid,
                                                                          const std::u16string* literGuid)
{
    std::map<std::u16string, std::shared_ptr<SLiteratureRelate>> relates;
    const std::u16string sql = u"select LiterGuid," + RelateColumns().Names() + u" from LiteratureRelate where TavGuid=?";
    CBoundQuery query = literGuid == nullptr ? Bound(db, sql, {tavGuid}) : Bound(db, sql + u" and LiterGuid=?", {tavGuid, *literGuid});
    for (; !query.IsEof(); query.NextRow()) {
        auto relate = std::make_shared<SLiteratureRelate>();
        relate->LiterGuid = query.GetStringValue(0);
        RelateColumns().Read(query, 1, *relate);
        relates[relate->LiterGuid] = std::move(relate);
    }
    return relates;
}

// Notes of the entry with their labels; `literGuid` (when given) narrows them to its notes.
std::vector<SLibraryNote> QueryNotes(CSqliteDB& db, const std::u16string& tavGuid, const std::u16string* literGuid)
{
    std::vector<SLibraryNote> notes;
    std::map<std::u16string, size_t> byPosId;
    {
        const std::u16string sql = u"select PosID," + NoteColumns().Names() + u" from Note where TavGuid=?";
        CBoundQuery query = literGuid == nullptr
                                ? Bound(db, sql + u" order by rowid", {tavGuid})
                                : Bound(db, sql + u" and LiterGuid=? order by rowid", {tavGuid, *literGuid});
        for (; !query.IsEof(); query.NextRow()) {
            SLibraryNote note;
            note.Note = std::make_shared<SNoteInfo>();
            note.Note->PosID = query.GetStringValue(0);
            note.Note->TavGuid = tavGuid;
            NoteColumns().Read(query, 1, *note.Note);
            byPosId[note.Note->PosID] = notes.size();
            notes.push_back(std::move(note));
        }
    }
    CBoundQuery labels = Bound(db, u"select PosID,Label from NoteLabel where TavGuid=? order by PosID,Position", {tavGuid});
    for (; !labels.IsEof(); labels.NextRow()) {
        const auto it = byPosId.find(labels.GetStringValue(0));
        if (it != byPosId.end())
            notes[it->second].Labels.push_back(labels.GetStringValue(1));
    }
    return notes;
}

std::vector<SLibraryAttachment> QueryAttachments(CSqliteDB& db, const std::u16string& tavGuid)
{
    std::vector<SLibraryAttachment> attachments;
    CBoundQuery query = Bound(db, u"select StoredPath,SourcePath from Attachment where TavGuid=? order by rowid", {tavGuid});
    for (; !query.IsEof(); query.NextRow())
        attachments.push_back({query.GetStringValue(0), query.GetStringValue(1)});
    return attachments;
}

std::map<std::u16string, std::vector<std::u16string>> QueryFolderLiterature(CSqliteDB& db, const std::u16string& tavGuid)
{
    std::map<std::u16string, std::vector<std::u16string>> filed;
    CBoundQuery query = Bound(db, u"select FolderGuid,LiterGuid from FolderLiterature where TavGuid=? order by rowid", {tavGuid});
    for (; !query.IsEof(); query.NextRow())
        filed[query.GetStringValue(0)].push_back(query.GetStringValue(1));
    return filed;
}

// Upper-case hexadecimal digits only: the characters a TavGuid can begin with.
bool ToGuidPrefix(const std::u16string& text, std::u16string& prefix)
{
    prefix.clear();
    for (char16_t c : text) {
        if (c >= u'a' && c <= u'f')
            c = static_cast<char16_t>(c - u'a' + u'A');
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
        prefix.push_back(c);
    }
    return true;
}

} // namespace

CLibraryReader::CLibraryReader()
    : m_user(OvSysUser::Instance().GetUser())
{
}

CLibraryReader::CLibraryReader(std::u16string user)
    : m_user(std::move(user))
{
}

std::u16string CLibraryReader::GetErrorText(int32_t code) const
{
    return LibraryErrorText(code);
}

int32_t CLibraryReader::Read(const Body& body)
{
    const int32_t opened = m_database.Open(m_user, false);
    if (opened != kLibraryOk)
        return opened;
    try {
        CLibraryTransaction transaction(m_database.Db(), CLibraryTransaction::Kind::Read);
        body(m_database.Db());
        transaction.Commit();
        return kLibraryOk;
    } catch (const CSqliteException& e) {
        CxLog::Instance().Log(u"LibraryReader", u"CLibraryReader::Read", __LINE__, 3, e.ErrorMessage());
        return kLibraryStorageError;
    }
}

int32_t CLibraryReader::ReadEntry(const std::u16string& tavGuid, const Body& body)
{
    if (!IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    bool found = false;
    const int32_t result = Read([&](CSqliteDB& db) {
        found = Bound(db, u"select count(*) from LearningUnit where TavGuid=?", {tavGuid}).GetIntField(0) > 0;
        if (found)
            body(db);
    });
    if (result == kLibraryOk && !found)
        return kLibraryUnitNotFound;
    return result;
}

int32_t CLibraryReader::ListEntries(std::vector<SLibraryEntry>& entries)
{
    std::vector<SLibraryEntry> read;
    const int32_t result = Read([&](CSqliteDB& db) { read = QueryEntries(db, std::u16string(), {}); });
    if (result == kLibraryOk)
        entries = std::move(read);
    return result;
}

int32_t CLibraryReader::FindEntries(const std::u16string& prefix, std::vector<SLibraryEntry>& matches)
{
    matches.clear();
    if (prefix.empty())
        return kLibraryBadArgument;
    std::u16string guidPrefix;
    // No TavGuid holds anything but hexadecimal digits, nor more than 32 of them.
    if (!ToGuidPrefix(prefix, guidPrefix) || guidPrefix.size() > 32)
        return kLibraryUnitNotFound;
    std::vector<SLibraryEntry> read;
    const int32_t result = Read([&](CSqliteDB& db) {
        read = QueryEntries(db, u" where substr(u.TavGuid,1,?)=?", {static_cast<int64_t>(guidPrefix.size()), guidPrefix});
    });
    if (result != kLibraryOk)
        return result;
    matches = std::move(read);
    if (matches.empty())
        return kLibraryUnitNotFound;
    return matches.size() == 1 ? kLibraryOk : kLibraryAmbiguousEntry;
}

int32_t CLibraryReader::ReadEntryContents(const std::u16string& tavGuid, SLibraryEntryContents& contents)
{
    SLibraryEntryContents read;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) {
        std::vector<SLibraryEntry> entries = QueryEntries(db, u" where u.TavGuid=?", {tavGuid});
        if (!entries.empty())
            read.Entry = std::move(entries.front());
        read.Folders = QueryFolderTree(db, tavGuid);
        read.FolderLiterature = QueryFolderLiterature(db, tavGuid);
        read.Literature = QueryLiterature(
            db, u"select LiterGuid,TavGuid," + LiteratureColumns().Names() + u" from Literature where TavGuid=? order by rowid",
            {tavGuid});
        read.Relates = QueryRelates(db, tavGuid, nullptr);
        read.Notes = QueryNotes(db, tavGuid, nullptr);
        read.Attachments = QueryAttachments(db, tavGuid);
    });
    if (result == kLibraryOk)
        contents = std::move(read);
    return result;
}

int32_t CLibraryReader::GetFolderTree(const std::u16string& tavGuid, std::vector<SLibraryFolderNode>& folders)
{
    std::vector<SLibraryFolderNode> tree;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) { tree = QueryFolderTree(db, tavGuid); });
    if (result == kLibraryOk)
        folders = std::move(tree);
    return result;
}

int32_t CLibraryReader::ListFolderLiterature(const std::u16string& tavGuid, const std::u16string& folderGuid,
                                             std::vector<std::shared_ptr<SLiteratureInfo>>& literature)
{
    std::vector<std::shared_ptr<SLiteratureInfo>> read;
    bool folderFound = false;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) {
        folderFound =
            Bound(db, u"select count(*) from Folder where TavGuid=? and FolderGuid=?", {tavGuid, folderGuid}).GetIntField(0) > 0;
        read = QueryLiterature(db,
                               u"select l.LiterGuid,l.TavGuid," + LiteratureColumns().Names() +
                                   u" from Literature l join FolderLiterature fl on fl.LiterGuid=l.LiterGuid "
                                   u"where fl.FolderGuid=? and l.TavGuid=? order by fl.rowid",
                               {folderGuid, tavGuid});
    });
    if (result != kLibraryOk)
        return result;
    if (!folderFound)
        return kLibraryFolderNotFound;
    literature = std::move(read);
    return kLibraryOk;
}

int32_t CLibraryReader::ListLiterature(const std::u16string& tavGuid, std::vector<std::shared_ptr<SLiteratureInfo>>& literature)
{
    std::vector<std::shared_ptr<SLiteratureInfo>> read;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) {
        read = QueryLiterature(
            db, u"select LiterGuid,TavGuid," + LiteratureColumns().Names() + u" from Literature where TavGuid=? order by rowid",
            {tavGuid});
    });
    if (result == kLibraryOk)
        literature = std::move(read);
    return result;
}

int32_t CLibraryReader::ListLiteratureFolders(const std::u16string& tavGuid, const std::u16string& literGuid,
                                              std::vector<std::u16string>& folderGuids)
{
    std::vector<std::u16string> read;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) {
        CBoundQuery query = Bound(db, u"select FolderGuid from FolderLiterature where TavGuid=? and LiterGuid=? order by rowid",
                                  {tavGuid, literGuid});
        for (; !query.IsEof(); query.NextRow())
            read.push_back(query.GetStringValue(0));
    });
    if (result == kLibraryOk)
        folderGuids = std::move(read);
    return result;
}

int32_t CLibraryReader::GetLiteratureRelate(const std::u16string& tavGuid, const std::u16string& literGuid,
                                            std::shared_ptr<SLiteratureRelate>& relate)
{
    std::shared_ptr<SLiteratureRelate> read;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) {
        auto relates = QueryRelates(db, tavGuid, &literGuid);
        if (!relates.empty())
            read = relates.begin()->second;
    });
    if (result != kLibraryOk)
        return result;
    if (!read)
        return kLibraryLiteratureNotFound;
    relate = std::move(read);
    return kLibraryOk;
}

int32_t CLibraryReader::ReadNotes(const std::u16string& tavGuid, const std::u16string* literGuid,
                                  std::vector<SLibraryNote>& notes)
{
    std::vector<SLibraryNote> read;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) { read = QueryNotes(db, tavGuid, literGuid); });
    if (result == kLibraryOk)
        notes = std::move(read);
    return result;
}

int32_t CLibraryReader::ListNotes(const std::u16string& tavGuid, std::vector<SLibraryNote>& notes)
{
    return ReadNotes(tavGuid, nullptr, notes);
}

int32_t CLibraryReader::ListLiteratureNotes(const std::u16string& tavGuid, const std::u16string& literGuid,
                                            std::vector<SLibraryNote>& notes)
{
    return ReadNotes(tavGuid, &literGuid, notes);
}

int32_t CLibraryReader::ListAttachments(const std::u16string& tavGuid, std::vector<SLibraryAttachment>& attachments)
{
    std::vector<SLibraryAttachment> read;
    const int32_t result = ReadEntry(tavGuid, [&](CSqliteDB& db) { read = QueryAttachments(db, tavGuid); });
    if (result == kLibraryOk)
        attachments = std::move(read);
    return result;
}
