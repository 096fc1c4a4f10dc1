#include "support/SyncPathOverride.h"

#include <mutex>

namespace {
std::mutex g_overrideMutex;
std::u16string g_override;
} // namespace

void SetSyncPathOverride(const std::u16string& path)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_override = path;
    if (!g_override.empty() && g_override.back() != u'/')
        g_override.push_back(u'/');
}

std::u16string SyncPathOverride()
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    return g_override;
}
