#pragma once
// The record fields that the library keeps, as column tables: one list drives the table
// layout, the insert and update statements and the reading of rows, so that they cannot
// drift apart.
#include "library/LibraryRecords.h"
#include "library/LibrarySql.h"
#include "sqlite/SqliteQuery.h"

#include <cstdint>
#include <span>
#include <string>

template <typename Record>
struct STextColumn {
    const char16_t* name;
    std::u16string Record::*member;
};

template <typename Record>
struct SIntColumn {
    const char16_t* name;
    int32_t Record::*member;
};

template <typename Record>
struct SColumnSet {
    std::span<const STextColumn<Record>> texts;
    std::span<const SIntColumn<Record>> ints;

    // "A text not null default '',B integer not null default 0"
    std::u16string Definitions() const
    {
        std::u16string out;
        for (const auto& column : texts)
            Append(out, std::u16string(column.name) + u" text not null default ''");
        for (const auto& column : ints)
            Append(out, std::u16string(column.name) + u" integer not null default 0");
        return out;
    }

    // "A,B"
    std::u16string Names() const
    {
        std::u16string out;
        for (const auto& column : texts)
            Append(out, column.name);
        for (const auto& column : ints)
            Append(out, column.name);
        return out;
    }

    // "'a',1" in the order of Names
    std::u16string Values(const Record& record) const
    {
        std::u16string out;
        for (const auto& column : texts)
            Append(out, SqlText(record.*column.member));
        for (const auto& column : ints)
            Append(out, SqlInt(record.*column.member));
        return out;
    }

    // "A='a',B=1"
    std::u16string Assignments(const Record& record) const
    {
        std::u16string out;
        for (const auto& column : texts)
            Append(out, std::u16string(column.name) + u"=" + SqlText(record.*column.member));
        for (const auto& column : ints)
            Append(out, std::u16string(column.name) + u"=" + SqlInt(record.*column.member));
        return out;
    }

    // Reads the columns of Names, starting at result column `first`; returns the next column.
    int32_t Read(const CSqliteQuery& query, int32_t first, Record& record) const
    {
        int32_t column = first;
        for (const auto& text : texts)
            record.*text.member = query.GetStringValue(column++);
        for (const auto& value : ints)
            record.*value.member = query.GetIntField(column++);
        return column;
    }

private:
    static void Append(std::u16string& out, const std::u16string& piece)
    {
        if (!out.empty())
            out += u",";
        out += piece;
    }
};

// Bibliographic fields of a literature (its LiterGuid and TavGuid are kept as keys).
const SColumnSet<SLiteratureInfo>& LiteratureColumns();
// Reading state of a literature (its LiterGuid is the key).
const SColumnSet<SLiteratureRelate>& RelateColumns();
// Fields of a note (TavGuid and PosID are the key).
const SColumnSet<SNoteInfo>& NoteColumns();
