#pragma once
// Internal to the test kit: which tables and columns a learning unit has at which layout
// version. A column exists at version v when since <= v <= until.
#include <string>
#include <vector>

namespace testkit::layout {

inline constexpr int kAlways = 99;

struct ColumnDef {
    std::string name;
    std::string declaration;
    int since = 1;
    int until = kAlways;
    // False for columns that only a freshly made version-16 unit has: neither the table-creation
    // pass nor an upgrade step adds them to an older unit.
    bool addedByUpgrade = true;
};

struct TableDef {
    std::string name;
    std::string head;                  // "create table Category (" and the like
    int since = 1;
    int until = kAlways;
    std::vector<ColumnDef> columns;
    std::string constraint;            // table constraint, e.g. "primary key (CategoryId, pkid)"
    std::vector<std::string> indexes;  // index statements
};

const std::vector<TableDef>& History();
const TableDef* FindTable(const std::string& name);
bool Exists(const TableDef& table, int version);
bool Exists(const ColumnDef& column, int version);
std::string CreateStatement(const TableDef& table, int version);

}  // namespace testkit::layout
