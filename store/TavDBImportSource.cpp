// What the import records about its unit, and what it does with the entries that earlier
// imports of the same unit left in the library.
#include "store/TavDB.h"

#include "library/OvDataMiddle.h"
#include "support/TextConvert.h"

#include <filesystem>
#include <system_error>

namespace {

// The first 8 digits of a TavGuid name an entry well enough in a line, as `library list` shows it.
std::u16string ShortGuid(const std::u16string& guid)
{
    return guid.substr(0, 8);
}

std::u16string EarlierEntryLine(const SEarlierEntry& entry)
{
    const std::u16string named = ShortGuid(entry.TavGuid) + u"（" + entry.CreateTime + u"，《" + entry.Name + u"》）";
    if (!entry.Complete)
        return entry.Removed ? u"已删除此前未完成的导入 " + named : u"此前未完成的导入未能删除：" + named;
    if (entry.Removed)
        return u"已替换此前的导入 " + named;
    return u"该学习单元此前已导入：" + named;
}

} // namespace

void CTavDB::DescribeSource(STavInfo& unit, const std::u16string& path) const
{
    unit.SourceTavId = m_tavId;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(WideToUtf8(path), error);
    unit.SourcePath = error ? path : Utf8ToWide(absolute.lexically_normal().string());
    unit.SourceVersion = m_versionBeforeUpgrade;
    unit.ImportStart = m_runStart;
}

void CTavDB::SettleEarlierEntries(const std::u16string& tavGuid)
{
    m_earlierEntries.clear();
    const int32_t settled =
        Library().SettleEarlierEntries(tavGuid, OvSysUser::Instance().GetUser(), m_replaceEarlier, m_earlierEntries);
    for (const SEarlierEntry& entry : m_earlierEntries)
        Report(m_totalSteps, m_totalSteps, EarlierEntryLine(entry));
    if (settled != 0)
        LogWarning(u"CTavDB::SettleEarlierEntries", __LINE__,
                   u"earlier entries of this unit: " + Library().GetErrorText(settled));
}
