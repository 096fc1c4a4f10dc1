// Reads learning units back for assertions, with or without the unit key.
#include "builder/UnitBuilder.h"

#include <sqlite3.h>
#include <strings.h>

#include <algorithm>

namespace testkit {
namespace {

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement Prepare(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw TestkitError(std::string(sqlite3_errmsg(db)) + " in: " + sql);
    return Statement(statement, sqlite3_finalize);
}

std::vector<std::string> Column(const std::vector<std::vector<std::string>>& rows, size_t column)
{
    std::vector<std::string> cells;
    for (const auto& row : rows)
        cells.push_back(row.at(column));
    return cells;
}

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::any_of(names.begin(), names.end(), [&](auto& n) { return strcasecmp(n.c_str(), name.c_str()) == 0; });
}

}  // namespace

UnitReader::UnitReader(const std::filesystem::path& path, KeyMode mode) : m_db(nullptr, sqlite3_close)
{
    for (const bool keyed : {false, true}) {
        if (m_db || mode == (keyed ? KeyMode::WithoutKey : KeyMode::WithKey) || !std::filesystem::is_regular_file(path))
            continue;
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        m_db.reset(db);
        // A probe of sqlite_master fails when the file cannot be read this way.
        if (rc != SQLITE_OK || (keyed && sqlite3_key(db, kUnitKey, kUnitKeyLength) != SQLITE_OK) ||
            sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
            m_db.reset();
    }
    if (!m_db)
        throw TestkitError("cannot read unit " + path.string());
}

std::vector<TextRow> UnitReader::QueryText(const std::string& sql)
{
    const Statement statement = Prepare(m_db.get(), sql);
    std::vector<TextRow> rows;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        TextRow& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
            const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(statement.get(), i));
            row.emplace_back(text != nullptr ? text : u"", sqlite3_column_bytes16(statement.get(), i) / 2);
        }
    }
    if (rc != SQLITE_DONE)
        throw TestkitError(std::string(sqlite3_errmsg(m_db.get())) + " in: " + sql);
    return rows;
}

std::vector<std::vector<std::string>> UnitReader::QueryUtf8(const std::string& sql)
{
    std::vector<std::vector<std::string>> rows;
    for (const TextRow& row : QueryText(sql)) {
        std::vector<std::string>& converted = rows.emplace_back();
        for (const std::u16string& cell : row)
            converted.push_back(U8(cell));
    }
    return rows;
}

std::string UnitReader::Text(const std::string& sql)
{
    std::string out;
    const auto rows = QueryUtf8(sql);
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t i = 0; i < rows[r].size(); ++i)
            out += (i > 0 ? "|" : r > 0 ? ";" : "") + rows[r][i];
    return out;
}

std::optional<std::string> UnitReader::Scalar(const std::string& sql)
{
    const Statement statement = Prepare(m_db.get(), sql);
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw TestkitError(std::string(sqlite3_errmsg(m_db.get())) + " in: " + sql);
    if (rc == SQLITE_DONE || sqlite3_column_type(statement.get(), 0) == SQLITE_NULL)
        return std::nullopt;
    return reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
}

int64_t UnitReader::ScalarInt(const std::string& sql)
{
    const std::optional<std::string> value = Scalar(sql);
    return value ? std::stoll(*value) : 0;
}

void UnitReader::Execute(const std::string& sql)
{
    if (sqlite3_exec(m_db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw TestkitError(std::string(sqlite3_errmsg(m_db.get())) + " in: " + sql);
}

std::vector<std::string> UnitReader::Tables()
{
    return Column(QueryUtf8("select name from sqlite_master where type='table' order by name"), 0);
}

std::vector<std::string> UnitReader::Columns(const std::string& table)
{
    return Column(QueryUtf8("pragma table_info(\"" + table + "\")"), 1);
}

bool UnitReader::HasTable(const std::string& table) { return Contains(Tables(), table); }

bool UnitReader::HasColumn(const std::string& table, const std::string& column)
{
    return Contains(Columns(table), column);
}

}  // namespace testkit
