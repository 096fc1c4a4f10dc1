// Layout utilities shared by the creation and column operations (column probe, time text,
// table drop), and the operations that only add columns.
#include "store/TavDB.h"

#include <ctime>
#include <cstdio>

std::u16string GetLocalTimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return std::u16string(text, text + length);
}

void CTavDB::ExecuteLayoutStatements(std::initializer_list<std::u16string_view> statements)
{
    for (std::u16string_view statement : statements)
        m_db.ExecuteStatement(std::u16string(statement));
}

bool CTavDB::AddColumnWhenMissing(const std::u16string& table, const std::u16string& column, const std::u16string& statement)
{
    if (IsColumnExist(table, column))
        return false;
    m_db.ExecuteStatement(statement);
    return true;
}

int CTavDB::CreateTableWhenMissing(const char16_t* function, int line, const char16_t* table,
                                   std::initializer_list<std::u16string_view> statements)
{
    return RunLayoutOperation(u"TavDB", function, line, [&] {
        if (!m_db.TableExists(table))
            ExecuteLayoutStatements(statements);
        return 1;
    });
}

int CTavDB::AddColumnOperation(const char16_t* function, int line, const char16_t* table, const char16_t* column,
                               const char16_t* statement)
{
    return RunLayoutOperation(u"TavDB", function, line, [&] {
        AddColumnWhenMissing(table, column, statement);
        return 1;
    });
}

int CTavDB::IsColumnExist(const std::u16string& table, const std::u16string& column)
{
    // Any failure at all means "missing"; the probe is silent by design, since a missing
    // column is the expected answer for older units. It reads no row: the names are checked
    // when the statement is prepared (a table and a column name cannot be bound).
    try {
        m_db.Prepare(u"select " + column + u" from " + table + u" limit 0")->Step();
        return 1;
    } catch (...) {
        return 0;
    }
}

int CTavDB::TableAddColumn(const std::u16string& table)
{
    return RunLayoutOperation(u"TavDB", u"CTavDB::TableAddColumn", __LINE__, [&] {
        for (const char16_t* column : {u"LocalModifyTime", u"ServerModifyTime"})
            AddColumnWhenMissing(table, column, u"alter table " + table + u" add column " + column + u" Text");
        AddColumnWhenMissing(table, u"IsRemoved", u"alter table " + table + u" add column IsRemoved bit Default 0 not null");
        return 1;
    });
}

int CTavDB::DropTable(const std::u16string& name)
{
    return RunLayoutOperation(u"TavDBSql", u"CTavDB::DropTable", __LINE__, [&] {
        if (m_db.TableExists(name))
            m_db.ExecuteStatement(u"Drop table if exists " + name);
        return 1;
    });
}

int CTavDB::LiteraInfoAddTableNameField()
{
    return AddColumnOperation(u"CTavDB::LiteraInfoAddTableNameField", __LINE__, u"LiteraInfo", u"TableName",
                              u"alter table LiteraInfo add column TableName Text");
}

int CTavDB::LiteraInfoAddKnowledgeInfoField()
{
    return AddColumnOperation(u"CTavDB::LiteraInfoAddKnowledgeInfoField", __LINE__, u"LiteraInfo", u"KnowledgeID",
                              u"alter table LiteraInfo add column KnowledgeID Text");
}

int CTavDB::LiteraInfoAddLockedField()
{
    return AddColumnOperation(u"CTavDB::LiteraInfoAddLockedField", __LINE__, u"LiteraInfo", u"Locked",
                              u"alter table LiteraInfo add column Locked integer");
}

int CTavDB::LiteraInfoAddOdataCodeField()
{
    return AddColumnOperation(u"CTavDB::LiteraInfoAddOdataCodeField", __LINE__, u"LiteraInfo", u"OdataCode",
                              u"alter table LiteraInfo add column OdataCode text");
}

int CTavDB::NoteContentAddIsPublicField()
{
    // Existing notes read IsPublic 3 (unlike the 0 of a newly created table).
    return AddColumnOperation(u"CTavDB::NoteContentAddIsPublicField", __LINE__, u"NoteContent", u"IsPublic",
                              u"alter table notecontent add column IsPublic bit Default 3 not null");
}

int CTavDB::NoteContentAddIsCompiledField()
{
    return AddColumnOperation(u"CTavDB::NoteContentAddIsCompiledField", __LINE__, u"NoteContent", u"IsCompiled",
                              u"alter table notecontent add column IsCompiled bit Default 0 not null");
}

int CTavDB::NoteContentAddUnitIdField()
{
    return AddColumnOperation(u"CTavDB::NoteContentAddUnitIdField", __LINE__, u"NoteContent", u"UnitID",
                              u"alter table notecontent add column UnitID Text");
}

int CTavDB::NoteContentAddKnowledgeIdField()
{
    return AddColumnOperation(u"CTavDB::NoteContentAddKnowledgeIdField", __LINE__, u"NoteContent", u"KnowledgeID",
                              u"alter table notecontent add column KnowledgeID Text");
}
