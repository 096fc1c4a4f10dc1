#pragma once
// The record fields that the library keeps, as column tables: one list drives the table
// layout, the insert and update statements and the reading of rows, so that they cannot
// drift apart.
#include "library/LibraryRecords.h"
#include "library/LibrarySql.h"
#include "library/LibraryStatements.h"
#include "sqlite/SqliteQuery.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

    // "?,?" for Names, filled by Bind
    std::u16string Placeholders() const
    {
        std::u16string out;
        for (size_t i = 0; i < texts.size() + ints.size(); ++i)
            Append(out, u"?");
        return out;
    }

    // "A=?,B=?", filled by Bind
    std::u16string AssignmentPlaceholders() const
    {
        std::u16string out;
        for (const auto& column : texts)
            Append(out, std::u16string(column.name) + u"=?");
        for (const auto& column : ints)
            Append(out, std::u16string(column.name) + u"=?");
        return out;
    }

    // Appends the record's values in the order of Names, an empty OwnerName as `owner`. The texts
    // are referred to, not copied: `record` and `owner` must outlive the statement's run.
    void Bind(std::vector<SqlValue>& values, const Record& record, const std::u16string& owner) const
    {
        for (const auto& column : texts) {
            const std::u16string& text = record.*column.member;
            values.emplace_back(column.member == &Record::OwnerName && text.empty() ? &owner : &text);
        }
        for (const auto& column : ints)
            values.emplace_back(static_cast<int64_t>(record.*column.member));
    }

    // Reads the columns of Names, starting at result column `first`; returns the next column.
    template <typename Query>
    int32_t Read(const Query& query, int32_t first, Record& record) const
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
