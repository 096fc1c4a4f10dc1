#include "app/console/ConsoleAccount.h"

#include "library/OvDataMiddle.h"
#include "support/SyncPathOverride.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

std::u16string ApplyAccountOptions(const std::string& account, const std::string& syncDir)
{
    SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    if (!account.empty())
        OvSysUser::Instance().SetUser(Utf8ToWide(account));
    if (!syncDir.empty())
        SetSyncPathOverride(Utf8ToWide(syncDir));
    return OvSysUser::Instance().GetUser();
}
