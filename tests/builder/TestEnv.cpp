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
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw TestkitError("cannot make a temporary folder from " + pattern);
    m_path = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

namespace {
const char* const kHomeVariables[] = {"HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                      "XDG_STATE_HOME", "XDG_CACHE_HOME",  "XDG_DOCUMENTS_DIR"};
}

ScopedHomeEnv::ScopedHomeEnv()
{
    const std::filesystem::path home = m_dir.Path();
    const std::filesystem::path targets[] = {home,
                                             home / ".config",
                                             home / ".local" / "share",
                                             home / ".local" / "state",
                                             home / ".cache",
                                             home / "Documents"};
    for (size_t i = 0; i < std::size(kHomeVariables); ++i) {
        const char* old = std::getenv(kHomeVariables[i]);
        m_saved.emplace_back(kHomeVariables[i], old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        std::filesystem::create_directories(targets[i]);
        setenv(kHomeVariables[i], targets[i].c_str(), 1);
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
        int code = stored[i] + static_cast<int>(i + 3);
        if (stored[i] <= 255 && code > 255)
            code -= 255;
        stored[i] = static_cast<char16_t>(code);
    }
    SetAppKeyNames(u"Orvane", u"Vexa Arbora");
    if (!WriteIniValue(AppRegistryFilePath(), u"SyncroSet", u"SyncroName", stored))
        throw TestkitError("cannot write the signed-in account");
}

std::string U8(const std::u16string& text) { return WideToUtf8(text); }
std::u16string U16(const std::string& text) { return Utf8ToWide(text); }

}  // namespace testkit
