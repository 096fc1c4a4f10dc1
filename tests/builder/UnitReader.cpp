// Reads learning units back for assertions, with or without the unit key.
#include "builder/UnitBuilder.h"
#include "builder/RawDb.h"

#include <sqlite3.h>

namespace testkit {
namespace {

// Opens `path` and, when `keyed`, applies the unit key; returns null when the file cannot be
// read that way (a probe of sqlite_master fails).
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

}  // namespace

UnitReader::UnitReader(const std::filesystem::path& path, KeyMode mode)
{
    if (mode != KeyMode::WithKey)
        m_db = TryOpen(path, false);
    if (m_db == nullptr && mode != KeyMode::WithoutKey) {
        m_db = TryOpen(path, true);
        m_encrypted = m_db != nullptr;
    }
    if (m_db == nullptr)
        throw TestkitError("cannot read unit " + path.string());
}

UnitReader::~UnitReader() { sqlite3_close(m_db); }

bool UnitReader::OpensWithoutKey(const std::filesystem::path& path)
{
    sqlite3* db = TryOpen(path, false);
    sqlite3_close(db);
    return db != nullptr;
}

std::vector<TextRow> UnitReader::QueryText(const std::string& sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw TestkitError(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
    std::vector<TextRow> rows;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        TextRow row;
        const int count = sqlite3_column_count(statement);
        for (int i = 0; i < count; ++i) {
            const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(statement, i));
            const int bytes = sqlite3_column_bytes16(statement, i);
            row.push_back(text != nullptr ? std::u16string(text, static_cast<size_t>(bytes) / sizeof(char16_t))
                                          : std::u16string());
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        throw TestkitError(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
    return rows;
}

std::vector<std::vector<std::string>> UnitReader::QueryUtf8(const std::string& sql)
{
    std::vector<std::vector<std::string>> rows;
    for (const TextRow& row : QueryText(sql)) {
        std::vector<std::string> converted;
        for (const std::u16string& cell : row)
            converted.push_back(U8(cell));
        rows.push_back(std::move(converted));
    }
    return rows;
}

std::string UnitReader::Text(const std::string& sql)
{
    std::string out;
    bool first = true;
    for (const auto& row : QueryUtf8(sql)) {
        out += first ? "" : ";";
        first = false;
        for (size_t i = 0; i < row.size(); ++i)
            out += (i == 0 ? "" : "|") + row[i];
    }
    return out;
}

std::optional<std::string> UnitReader::Scalar(const std::string& sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw TestkitError(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
    std::optional<std::string> result;
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL)
        result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw TestkitError(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
    return result;
}

int64_t UnitReader::ScalarInt(const std::string& sql)
{
    const std::optional<std::string> value = Scalar(sql);
    return value ? std::stoll(*value) : 0;
}

void UnitReader::Execute(const std::string& sql) { raw::ExecOrThrow(m_db, sql); }

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

bool UnitReader::HasTable(const std::string& table)
{
    for (const std::string& name : Tables())
        if (raw::SameName(name, table))
            return true;
    return false;
}

bool UnitReader::HasColumn(const std::string& table, const std::string& column)
{
    for (const std::string& name : Columns(table))
        if (raw::SameName(name, column))
            return true;
    return false;
}

}  // namespace testkit
