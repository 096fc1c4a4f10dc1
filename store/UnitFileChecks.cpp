#include "store/UnitFileChecks.h"

#include "store/TavDB.h"

#include <cctype>

namespace {

const char16_t* const kCreatedTables[] = {
    u"Category",     u"CategoryLitera",  u"DownInfo",         u"Label",       u"LiteraInfo",
    u"LiteraInfo_Temp", u"LiteraRelate", u"LiteraStyles",     u"NoteContent", u"NoteReply",
    u"NoteRelation", u"NoteSort",        u"SortType",         u"NoteType",    u"PushItem",
    u"PushLiteraInfo", u"PushRelation",  u"Trash",            u"WebPage_Category",
    u"WebPage_CategoryInfo", u"WebPage_Info", u"WebPage_Trash",
};

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char16_t c) { return c < 0x80 ? static_cast<char16_t>(std::tolower(c)) : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

bool IsLayoutTable(std::u16string_view name)
{
    if (SameNameIgnoringCase(name, u"VersionInfo"))
        return true;
    for (const char16_t* table : kCreatedTables)
        if (SameNameIgnoringCase(name, table))
            return true;
    return false;
}

bool StartsWithVirtualTable(std::u16string_view sql)
{
    size_t i = 0;
    while (i < sql.size() && (sql[i] == u' ' || sql[i] == u'\t' || sql[i] == u'\r' || sql[i] == u'\n'))
        ++i;
    return sql.size() - i >= 20 && SameNameIgnoringCase(sql.substr(i, 20), u"create virtual table");
}

int32_t Probe(CSqliteDB& db, std::u16string& error)
{
    try {
        db.ExecuteScalar(u"select count(*) from sqlite_master");
        return 0;
    } catch (const CSqliteException& e) {
        error = e.ErrorMessageText();
        return e.ErrorCode();
    }
}

} // namespace

std::span<const char16_t* const> CreatedLayoutTables() { return kCreatedTables; }

int32_t OpenUnitFile(CSqliteDB& db, const std::u16string& path, EUnitOpen mode, bool& encrypted, std::u16string& error)
{
    encrypted = false;
    db.SetTriggersAllowed(false);
    const auto open = [&] {
        if (mode == EUnitOpen::ReadOnly)
            db.OpenReadOnly(path);
        else
            db.Open(path);
    };
    try {
        open();
        if (Probe(db, error) == 0)
            return 0;
        db.Close();
        open();
        db.SetKey(kTavDatabaseKey, kTavDatabaseKeyLength);
        const int32_t code = Probe(db, error);
        encrypted = code == 0;
        return code;
    } catch (const CSqliteException& e) {
        error = e.ErrorMessageText();
        return e.ErrorCode();
    }
}

std::u16string QuickCheck(CSqliteDB& db)
{
    try {
        CSqliteQuery query = db.ExecuteQuery(u"pragma quick_check");
        return query.IsEof() ? u"no result" : query.GetStringValue(0);
    } catch (const CSqliteException& e) {
        return e.ErrorMessageText();
    }
}

std::u16string FindForeignLayoutObject(CSqliteDB& db)
{
    CSqliteQuery query = db.ExecuteQuery(u"select name, type, sql from sqlite_master where type in ('table', 'view')");
    for (; !query.IsEof(); query.NextRow()) {
        const std::u16string name = query.GetStringValue(0);
        if (!IsLayoutTable(name))
            continue;
        if (query.GetStringValue(1) == u"view")
            return name + u" is a view";
        if (StartsWithVirtualTable(query.GetStringValue(2)))
            return name + u" is a virtual table";
    }
    return {};
}

int64_t ReadVersionNum(CSqliteDB& db)
{
    int64_t version = 0;
    CSqliteQuery query = db.ExecuteQuery(u"Select versionNum From VersionInfo");
    for (; !query.IsEof(); query.NextRow())
        version = query.IsNullField(0) ? 0 : query.GetInt64Field(0);
    return version;
}
