// Reads learning units back for assertions, with or without the unit key.
#include "builder/UnitBuilder.h"

#include <sqlite3.h>
#include <strings.h>

#include <memory>

namespace testkit {
namespace {

// Null when the file cannot be read that way (a probe of sqlite_master fails).
sqlite3* TryOpen(const std::filesystem::path& path, bool keyed)
{
    if (!std::filesystem::is_regular_file(path))
        return nullptr;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        (keyed && sqlite3_key(db, kUnitKey, kUnitKeyLength) != SQLITE_OK) ||
        sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

TestkitError Failure(sqlite3* db, const std::string& sql)
{
    return TestkitError(std::string(sqlite3_errmsg(db)) + " in: " + sql);
}

Statement Prepare(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw Failure(db, sql);
    return Statement(statement, sqlite3_finalize);
}

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& candidate : names)
        if (strcasecmp(candidate.c_str(), name.c_str()) == 0)
            return true;
    return false;
}

}  // namespace

UnitReader::UnitReader(const std::filesystem::path& path, KeyMode mode)
{
    if (mode != KeyMode::WithKey)
        m_db = TryOpen(path, false);
    if (m_db == nullptr && mode != KeyMode::WithoutKey)
        m_db = TryOpen(path, true);
    if (m_db == nullptr)
        throw TestkitError("cannot read unit " + path.string());
}

UnitReader::~UnitReader() { sqlite3_close(m_db); }

std::vector<TextRow> UnitReader::QueryText(const std::string& sql)
{
    const Statement statement = Prepare(m_db, sql);
    std::vector<TextRow> rows;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        TextRow& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
            const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(statement.get(), i));
            const auto bytes = static_cast<size_t>(sqlite3_column_bytes16(statement.get(), i));
            row.push_back(text != nullptr ? std::u16string(text, bytes / sizeof(char16_t)) : std::u16string());
        }
    }
    if (rc != SQLITE_DONE)
        throw Failure(m_db, sql);
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
    const Statement statement = Prepare(m_db, sql);
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw Failure(m_db, sql);
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
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw TestkitError(message + " in: " + sql);
    }
}

std::vector<std::string> UnitReader::Tables()
{
    std::vector<std::string> names;
    for (const auto& row : QueryUtf8("select name from sqlite_master where type='table' order by name"))
        names.push_back(row.at(0));
    return names;
}

std::vector<std::string> UnitReader::Columns(const std::string& table)
{
    std::vector<std::string> names;
    for (const auto& row : QueryUtf8("pragma table_info(\"" + table + "\")"))
        names.push_back(row.at(1));
    return names;
}

bool UnitReader::HasTable(const std::string& table) { return Contains(Tables(), table); }

bool UnitReader::HasColumn(const std::string& table, const std::string& column) { return Contains(Columns(table), column); }

}  // namespace testkit
