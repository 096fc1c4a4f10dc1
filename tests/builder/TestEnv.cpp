// Temporary folders, a private HOME for each test, and text conversion for test code.
#include "builder/UnitBuilder.h"

#include "support/IniFile.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <cstdlib>
#include <unistd.h>

namespace testkit {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/arbora-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw TestkitError("cannot make a temporary folder from " + pattern);
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScopedHomeEnv::ScopedHomeEnv()
{
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", ""}, {"XDG_CONFIG_HOME", ".config"}, {"XDG_DATA_HOME", ".local/share"},
        {"XDG_STATE_HOME", ".local/state"}, {"XDG_CACHE_HOME", ".cache"}, {"XDG_DOCUMENTS_DIR", "Documents"}};
    for (const auto& [name, folder] : folders) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        const std::filesystem::path target = *folder == '\0' ? m_dir.Path() : m_dir.Path() / folder;
        std::filesystem::create_directories(target);
        setenv(name, target.c_str(), 1);
    }
}

ScopedHomeEnv::~ScopedHomeEnv()
{
    for (const auto& [name, value] : m_saved) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

void SignInAccount(const std::u16string& name)
{
    std::u16string stored = name;
    for (size_t i = 0; i < stored.size(); ++i) {
        const int code = stored[i] + static_cast<int>(i + 3);
        stored[i] = static_cast<char16_t>(stored[i] <= 255 && code > 255 ? code - 255 : code);
    }
    SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    if (!WriteIniValue(AppRegistryFilePath(), u"SyncroSet", u"SyncroName", stored))
        throw TestkitError("cannot write the signed-in account");
}

std::string U8(const std::u16string& text) { return WideToUtf8(text); }
std::u16string U16(const std::string& text) { return Utf8ToWide(text); }

}  // namespace testkit
