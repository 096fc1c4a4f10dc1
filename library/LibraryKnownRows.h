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
    enum class Kind : char16_t { Unit = u'U', Folder = u'F', Literature = u'L' };

    bool Has(Kind kind, const std::u16string& tavGuid, const std::u16string& guid = {}) const
    {
        return m_known.contains(Key(kind, tavGuid, guid));
    }
    void Add(Kind kind, const std::u16string& tavGuid, const std::u16string& guid = {})
    {
        m_known.insert(Key(kind, tavGuid, guid));
    }
    void Clear() { m_known.clear(); }

private:
    // An entry's GUID has a fixed length, so the parts of a key cannot run into each other.
    static std::u16string Key(Kind kind, const std::u16string& tavGuid, const std::u16string& guid)
    {
        return static_cast<char16_t>(kind) + tavGuid + u'|' + guid;
    }

    std::unordered_set<std::u16string> m_known;
};
