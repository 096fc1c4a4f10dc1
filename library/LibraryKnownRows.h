#pragma once
// Entries, folders and literature that the open batch transaction has seen in the library.
// While a batch's write transaction is open no other connection can change the library, so an
// existence check answered once holds until the batch commits or is rolled back, or an entry is
// removed; an import then checks each entry, folder and literature against the file once per
// batch instead of once per operation.
#include <string>
#include <unordered_set>

class CLibraryKnownRows {
public:
    enum class Kind { Unit, Folder, Literature };

    bool Has(Kind kind, const std::u16string& tavGuid, const std::u16string& guid = {}) const
    {
        return Set(kind).contains(Key(tavGuid, guid));
    }
    void Add(Kind kind, const std::u16string& tavGuid, const std::u16string& guid = {})
    {
        Set(kind).insert(Key(tavGuid, guid));
    }
    void Clear()
    {
        m_units.clear();
        m_folders.clear();
        m_literature.clear();
    }

private:
    // An entry's GUID has a fixed length, so the two parts of a key cannot run into each other.
    static std::u16string Key(const std::u16string& tavGuid, const std::u16string& guid) { return tavGuid + u'|' + guid; }
    std::unordered_set<std::u16string>& Set(Kind kind)
    {
        return kind == Kind::Unit ? m_units : kind == Kind::Folder ? m_folders : m_literature;
    }
    const std::unordered_set<std::u16string>& Set(Kind kind) const
    {
        return kind == Kind::Unit ? m_units : kind == Kind::Folder ? m_folders : m_literature;
    }

    std::unordered_set<std::u16string> m_units;
    std::unordered_set<std::u16string> m_folders;
    std::unordered_set<std::u16string> m_literature;
};
