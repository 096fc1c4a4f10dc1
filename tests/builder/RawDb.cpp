#include "builder/RawDb.h"
#include "builder/UnitBuilder.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace testkit::raw {

Value Text(const std::u16string& text)
{
    if (text.empty())
        return Value{};
    return Value{text};
}

void ExecOrThrow(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw TestkitError(message + " in: " + sql);
    }
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void StatementDeleter::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

Db::Db(const std::filesystem::path& path, bool keyed)
{
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw TestkitError("cannot create " + path.string() + ": " + message);
    }
    if (keyed && sqlite3_key(m_db, kUnitKey, kUnitKeyLength) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw TestkitError("cannot key " + path.string());
    }
}

Db::~Db()
{
    m_cache.clear();
    sqlite3_close(m_db);
}

void Db::Exec(const std::string& sql) { ExecOrThrow(m_db, sql); }

void Db::Run(const std::string& sql, const std::vector<Value>& values)
{
    auto found = m_cache.find(sql);
    if (found == m_cache.end()) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            throw TestkitError(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
        found = m_cache.emplace(sql, Statement(statement)).first;
    }
    sqlite3_stmt* statement = found->second.get();
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const Value& value = values[i];
        if (const auto* number = std::get_if<int64_t>(&value))
            sqlite3_bind_int64(statement, index, *number);
        else if (const auto* text = std::get_if<std::u16string>(&value))
            sqlite3_bind_text16(statement, index, text->data(), static_cast<int>(text->size() * sizeof(char16_t)),
                                SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(statement, index);
    }
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::string message = sqlite3_errmsg(m_db);
        sqlite3_reset(statement);
        throw TestkitError(message + " in: " + sql);
    }
    sqlite3_reset(statement);
}

}  // namespace testkit::raw
