#include "store/UnitInspector.h"

#include "sqlite/SqliteDB.h"
#include "store/TavDB.h"
#include "store/UnitFileChecks.h"
#include "support/TextConvert.h"

#include <filesystem>

namespace {

// The tables a user cares about when deciding whether to import.
const char16_t* const kMainTables[] = {
    u"Category", u"CategoryLitera", u"LiteraInfo", u"LiteraRelate", u"NoteContent",
    u"Label",    u"WebPage_Info",   u"WebPage_Trash", u"DownInfo",
};

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
    std::u16string openError;
    if (OpenUnitFile(db, path, EUnitOpen::ReadOnly, summary.encrypted, openError) != 0) {
        summary.error = u"not a learning unit, or encrypted with another key";
        return summary;
    }
    try {
        summary.quickCheck = QuickCheck(db);
        summary.foreignObject = FindForeignLayoutObject(db);
        if (!summary.foreignObject.empty()) {
            summary.error = summary.foreignObject + u": not a learning unit this tool reads";
            return summary;
        }
        if (!db.TableExists(u"VersionInfo")) {
            summary.error = u"no VersionInfo table: not a learning unit";
            return summary;
        }
        summary.version = ReadVersionNum(db);
        summary.newerLayout = summary.version > kTavCurrentVersion;
        {
            CSqliteQuery query = db.ExecuteQuery(u"Select TavId From VersionInfo");
            for (; !query.IsEof(); query.NextRow())
                summary.tavId = query.GetStringValue(0);
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
        for (const char16_t* table : CreatedLayoutTables()) {
            if (!db.TableExists(table))
                summary.missingTables.emplace_back(table);
        }
        for (int64_t v = summary.version + 1; summary.version > 0 && v <= kTavCurrentVersion; ++v)
            summary.pendingSteps.push_back(static_cast<int32_t>(v));
        summary.opened = true;
    } catch (const CSqliteException& e) {
        summary.error = e.ErrorMessage();
    }
    return summary;
}
