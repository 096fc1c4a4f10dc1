// A unit imported again: what becomes of the entries its earlier imports left.
#include "library/LibraryErrors.h"
#include "library/LibraryService.h"

int32_t CLibraryService::SettleEarlierEntries(const std::u16string& tavGuid, const std::u16string& user,
                                              bool replaceComplete, std::vector<SEarlierEntry>& earlier)
{
    earlier.clear();
    if (!IsLibraryGuid(tavGuid))
        return kLibraryBadArgument;
    std::vector<SEarlierEntry> found;
    {
        std::lock_guard lock(m_mutex);
        const int32_t read = RunInTransaction(
            u"CLibraryService::SettleEarlierEntries", user,
            [&](CSqliteDB& db) {
                CBoundQuery self = m_database.Statements().Run(
                    db, u"select Complete,SourceTavId from LearningUnit where TavGuid=?", {tavGuid});
                if (self.IsEof())
                    return static_cast<int32_t>(kLibraryUnitNotFound);
                // Removing entries for an import that may still fail would lose the only copy.
                if (self.GetIntField(0) == 0)
                    return static_cast<int32_t>(kLibraryEntryIncomplete);
                const std::u16string source = self.GetStringValue(1);
                if (source.empty())
                    return static_cast<int32_t>(kLibraryOk);
                CBoundQuery query = m_database.Statements().Run(
                    db, u"select TavGuid,Name,CreateTime,Complete from LearningUnit where SourceTavId=? and TavGuid<>? "
                        u"order by rowid",
                    {source, tavGuid});
                for (; !query.IsEof(); query.NextRow())
                    found.push_back({query.GetStringValue(0), query.GetStringValue(1), query.GetStringValue(2),
                                     query.GetIntField(3) != 0, false});
                return static_cast<int32_t>(kLibraryOk);
            },
            false);
        if (read != kLibraryOk)
            return read;
    }
    int32_t result = kLibraryOk;
    for (SEarlierEntry& entry : found) {
        if (entry.Complete && !replaceComplete)
            continue;
        const int32_t removed = DeleteLearningUnit(entry.TavGuid, user);
        // Without its rows the entry is gone, even when some of its files stayed behind.
        entry.Removed = removed == kLibraryOk || removed == kLibraryRemoveFailed;
        if (removed != kLibraryOk && result == kLibraryOk)
            result = removed;
    }
    earlier = std::move(found);
    return result;
}
