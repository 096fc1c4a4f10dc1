#pragma once
// Helpers of the SQLite layer's tests.
#include "sqlite/SqliteDB.h"
#include "support/SupportTestEnv.h"
#include "support/TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>

namespace sqlitetest {

inline CSqliteException Caught(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const CSqliteException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return CSqliteException(0, nullptr);
}

// A database file in a temporary folder: t(id integer primary key, v text unique, n integer).
class TempDatabase {
public:
    TempDatabase()
    {
        CSqliteDB db;
        db.Open(m_path);
        db.ExecuteStatement(u"create table t (id integer primary key, v text unique, n integer)");
    }
    const std::u16string& Path() const { return m_path; }

private:
    supporttest::TempHome m_home;
    const std::u16string m_path = Utf8ToWide((m_home.Root() / "test.db").string());
};

} // namespace sqlitetest
