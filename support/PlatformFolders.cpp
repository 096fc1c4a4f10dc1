#include "support/PlatformFolders.h"

#include "support/TextConvert.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return ".";
}

std::u16string FromEnvironment(const char* variable, const char* fallbackUnderHome)
{
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/')
        return Utf8ToWide(std::filesystem::path(value).lexically_normal().string());
    return Utf8ToWide(HomeFolder() + "/" + fallbackUnderHome);
}

std::u16string WithoutTrailingSeparator(std::u16string path)
{
    while (path.size() > 1 && path.back() == u'/')
        path.pop_back();
    return path;
}

} // namespace

std::u16string CommonDocumentsFolder() { return WithoutTrailingSeparator(FromEnvironment("XDG_DATA_HOME", ".local/share")); }
std::u16string PersonalDocumentsFolder() { return WithoutTrailingSeparator(FromEnvironment("XDG_DOCUMENTS_DIR", "Documents")); }
std::u16string ConfigFolder() { return WithoutTrailingSeparator(FromEnvironment("XDG_CONFIG_HOME", ".config")); }
std::u16string StateFolder() { return WithoutTrailingSeparator(FromEnvironment("XDG_STATE_HOME", ".local/state")); }

std::u16string ExecutablePath()
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::u16string() : Utf8ToWide(path.string());
}
