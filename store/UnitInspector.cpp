#include "store/UnitInspector.h"

#include "sqlite/SqliteDB.h"
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <filesystem>

namespace {

// Every table the creation pass makes, in its order.
const char16_t* const kLayoutTables[] = {
    u"Category",     u"CategoryLitera",  u"DownInfo",         u"Label",       u"LiteraInfo",
    u"LiteraInfo_Temp", u"LiteraRelate", u"LiteraStyles",     u"NoteContent", u"NoteReply",
    u"NoteRelation", u"NoteSort",        u"SortType",         u"NoteType",    u"PushItem",
    u"PushLiteraInfo", u"PushRelation",  u"Trash",            u"WebPage_Category",
    u"WebPage_CategoryInfo", u"WebPage_Info", u"WebPage_Trash",
};

// The tables a user cares about when deciding whether to import.
const char16_t* const kMainTables[] = {
    u"Category", u"CategoryLitera", u"LiteraInfo", u"LiteraRelate", u"NoteContent",
    u"Label",    u"WebPage_Info",   u"WebPage_Trash", u"DownInfo",
};

bool Readable(CSqliteDB& db)
{
    try {
        db.ExecuteScalar(u"select count(*) from sqlite_master");
        return true;
    } catch (const CSqliteException&) {
        return false;
    }
}

bool HasColumn(CSqliteDB& db, const std::u16string& table, const std::u16string& column)
{
    try {
        db.ExecuteScalar(u"select count(" + column + u") from " + table);
        return true;
    } catch (const CSqliteException&) {
        return false;
    }
}

} // namespace

SUnitSummary InspectUnit(const std::u16string& path)
{
    SUnitSummary summary;
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(WideToUtf8(path)), error)) {
        summary.error = u"no such file";
        return summary;
    }
    CSqliteDB db;
    try {
        db.OpenReadOnly(path);
        if (!Readable(db)) {
            db.Close();
            db.OpenReadOnly(path);
            db.SetKey(kTavDatabaseKey, kTavDatabaseKeyLength);
            if (!Readable(db)) {
                summary.error = u"not a learning unit, or encrypted with another key";
                return summary;
            }
            summary.encrypted = true;
        }
        if (!db.TableExists(u"VersionInfo")) {
            summary.error = u"no VersionInfo table: not a learning unit";
            return summary;
        }
        {
            CSqliteQuery query = db.ExecuteQuery(u"Select versionNum,TavId From VersionInfo");
            while (!query.IsEof()) {
                summary.version = query.GetIntField(0);
                summary.tavId = query.GetStringValue(1);
                query.NextRow();
            }
        }
        if (HasColumn(db, u"VersionInfo", u"Userkey")) {
            CSqliteQuery query = db.ExecuteQuery(u"Select Userkey From VersionInfo");
            if (!query.IsEof())
                summary.owner = query.GetStringValue(0);
        }
        for (const char16_t* table : kMainTables) {
            if (db.TableExists(table)) {
                CSqliteQuery query = db.ExecuteQuery(std::u16string(u"select count(*) from ") + table);
                summary.rowCounts.emplace_back(table, query.IsEof() ? 0 : query.GetInt64Field(0));
            }
        }
        for (const char16_t* table : kLayoutTables) {
            if (!db.TableExists(table))
                summary.missingTables.emplace_back(table);
        }
        for (int32_t v = summary.version + 1; summary.version > 0 && v <= kTavCurrentVersion; ++v)
            summary.pendingSteps.push_back(v);
        summary.opened = true;
    } catch (const CSqliteException& e) {
        summary.error = e.ErrorMessage();
    }
    return summary;
}
