#include "support/IniFile.h"

#include "support/TextConvert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Writers in this process take turns, so that two read-modify-write cycles never interleave.
std::mutex g_writeMutex;

fs::path ToFsPath(const std::u16string& path) { return fs::path(WideToUtf8(path)); }

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::optional<std::string> ReadFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

struct IniText {
    std::vector<std::string> lines; // without their line ends
    std::string lineEnd = "\n";     // the file's own style, kept on rewrite
    bool bom = false;
};

IniText SplitLines(std::string_view bytes)
{
    IniText text;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text.bom = true;
        bytes.remove_prefix(3);
    }
    if (const size_t first = bytes.find('\n'); first != std::string_view::npos && first > 0 && bytes[first - 1] == '\r')
        text.lineEnd = "\r\n";
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        text.lines.emplace_back(line);
        start = end + 1;
    }
    return text;
}

// The section name of a header line "[name]", or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

bool IsComment(std::string_view line)
{
    line = Trim(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// Splits "key = value"; nothing for lines without '=' and for comments.
std::optional<std::pair<std::string_view, std::string_view>> KeyAndValue(std::string_view line)
{
    if (IsComment(line))
        return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return std::make_pair(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The value as it is written after "key=": quoted when reading it back would otherwise change it.
std::string EncodeValue(const std::string& value)
{
    const bool loseBlanks = !value.empty() && Trim(value).size() != value.size();
    const bool loseQuotes = Unquote(value).size() != value.size();
    return (loseBlanks || loseQuotes) ? "\"" + value + "\"" : value;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool WriteAtomically(const fs::path& target, const std::string& bytes)
{
    std::error_code error;
    const fs::path folder = target.parent_path();
    if (!folder.empty())
        fs::create_directories(folder, error);
    if (error)
        return false;

    // Built by appending: GCC 12 at -O3 misreports the chained operator+ form (-Wrestrict).
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder.empty() ? fs::path(".") : folder) / name;
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    struct stat existing {};
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0;
    for (size_t written = 0; ok && written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(pattern.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(pattern.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here does not undo the write.
    if (const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

std::u16string ReadIniValue(const std::u16string& path, const std::u16string& section,
                            const std::u16string& key, const std::u16string& defaultValue)
{
    const auto bytes = ReadFileBytes(ToFsPath(path));
    if (!bytes)
        return defaultValue;
    const std::string wantedSection = WideToUtf8(section);
    const std::string wantedKey = WideToUtf8(key);
    bool inSection = false;
    for (const std::string& line : SplitLines(*bytes).lines) {
        if (const auto name = SectionName(line)) {
            inSection = EqualNoCase(*name, wantedSection);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto entry = KeyAndValue(line); entry && EqualNoCase(entry->first, wantedKey))
            return Utf8ToWide(Unquote(entry->second));
    }
    return defaultValue;
}

bool WriteIniValue(const std::u16string& path, const std::u16string& section,
                   const std::u16string& key, const std::u16string& value)
{
    const std::string sectionText(Trim(WideToUtf8(section)));
    const std::string keyText(Trim(WideToUtf8(key)));
    const std::string valueText = WideToUtf8(value);
    if (path.empty() || sectionText.empty() || keyText.empty() || HasLineBreak(sectionText) ||
        sectionText.find(']') != std::string::npos || HasLineBreak(keyText) ||
        keyText.find('=') != std::string::npos || keyText.front() == '[' || keyText.front() == ';' ||
        keyText.front() == '#' || HasLineBreak(valueText))
        return false;

    std::lock_guard lock(g_writeMutex);
    const fs::path target = ToFsPath(path);
    IniText text;
    std::error_code error;
    if (fs::exists(target, error)) {
        const auto bytes = ReadFileBytes(target);
        if (!bytes)
            return false;
        text = SplitLines(*bytes);
    }

    const std::string newLine = keyText + "=" + EncodeValue(valueText);
    std::optional<size_t> sectionLine;  // header of the first matching section
    std::optional<size_t> lastContent;  // last non-blank line inside it
    std::optional<size_t> keyLine;
    bool inSection = false;
    for (size_t i = 0; i < text.lines.size() && !keyLine; ++i) {
        const std::string& line = text.lines[i];
        if (const auto name = SectionName(line)) {
            if (sectionLine && inSection)
                break; // the first matching section ended without the key
            inSection = EqualNoCase(*name, sectionText);
            if (inSection) {
                sectionLine = i;
                lastContent = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!Trim(line).empty())
            lastContent = i;
        if (const auto entry = KeyAndValue(line); entry && EqualNoCase(entry->first, keyText))
            keyLine = i;
    }

    if (keyLine) {
        text.lines[*keyLine] = newLine;
    } else if (lastContent) {
        text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(*lastContent + 1), newLine);
    } else {
        if (!text.lines.empty() && !Trim(text.lines.back()).empty())
            text.lines.emplace_back();
        text.lines.push_back("[" + sectionText + "]");
        text.lines.push_back(newLine);
    }

    std::string bytes = text.bom ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : text.lines)
        bytes += line + text.lineEnd;
    return WriteAtomically(target, bytes);
}
