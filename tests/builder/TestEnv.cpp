// Temporary folders, a private HOME for each test, and text conversion for test code.
#include "builder/UnitBuilder.h"

#include "support/IniFile.h"
#include "support/SyncSettings.h"

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

std::string U8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;   // a lone surrogate
        const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(extra == 0 ? c : ((0xFF << (7 - extra)) & 0xFF) | (c >> (6 * extra)));
        for (int k = extra - 1; k >= 0; --k)
            out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

std::u16string U16(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const int extra = byte < 0x80 ? 0 : (byte >> 5) == 0x6 ? 1 : (byte >> 4) == 0xE ? 2 : (byte >> 3) == 0x1E ? 3 : -1;
        char32_t c = extra <= 0 ? byte : byte & (0x3F >> extra);
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        out += static_cast<char16_t>(c);
    }
    return out;
}

}  // namespace testkit
