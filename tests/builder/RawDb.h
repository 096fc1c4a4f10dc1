#pragma once
// Internal to the test kit: a thin owner of one raw SQLCipher connection and its prepared
// statements, so the kit does not depend on the project's own SQLite layer.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace testkit::raw {

// NULL, an integer or a UTF-16 text.
using Value = std::variant<std::monostate, int64_t, std::u16string>;

// Empty text writes NULL.
Value Text(const std::u16string& text);

// Runs SQL text on a connection; throws TestkitError with SQLite's message.
void ExecOrThrow(sqlite3* db, const std::string& sql);
// Table and column names compare without regard to ASCII case, as SQLite does.
bool SameName(const std::string& a, const std::string& b);

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

class Db {
public:
    // Opens (creating when missing); applies the unit key when `keyed`.
    Db(const std::filesystem::path& path, bool keyed);
    ~Db();
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void Exec(const std::string& sql);
    // Runs a cached prepared statement with the values bound in order.
    void Run(const std::string& sql, const std::vector<Value>& values);

private:
    sqlite3* m_db = nullptr;
    std::map<std::string, Statement> m_cache;
};

}  // namespace testkit::raw
