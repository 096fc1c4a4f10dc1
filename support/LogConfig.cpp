// The rules of `log.cfg`.
#include "support/Log.h"
#include "support/TextConvert.h"

#include <climits>
#include <cstdlib>

namespace cxlog {
namespace {

// Paths in the configuration keep to the length that the desktop application allows.
constexpr size_t kMaxPathLength = 259;

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
constexpr bool IsNameStart(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; }
constexpr bool IsNameChar(char16_t c) { return IsNameStart(c) || (c >= u'0' && c <= u'9'); }

void CutPath(std::u16string& path)
{
    if (path.size() <= kMaxPathLength)
        return;
    path.resize(kMaxPathLength);
    if (path.back() >= 0xD800 && path.back() <= 0xDBFF)
        path.pop_back();
}

// Appends the value of the variable `name`; false when it is not set.
bool AppendVariable(std::u16string& out, std::u16string_view name)
{
    const char* value = std::getenv(WideToUtf8(name).c_str());
    if (value == nullptr)
        return false;
    out += Utf8ToWide(value);
    return true;
}

// The value after `key` at the very start of `line`, cut at a zero byte; empty when `line` does
// not start with the key.
bool ValueOf(std::string_view line, std::string_view key, std::string_view& value)
{
    if (!line.starts_with(key))
        return false;
    value = line.substr(key.size());
    value = value.substr(0, value.find('\0'));
    return true;
}

} // namespace

int32_t AtoI(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int32_t>(value);
}

std::u16string ExpandEnvironment(std::u16string_view text)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c != u'$' || i + 1 >= text.size()) {
            out += c;
            ++i;
            continue;
        }
        if (text[i + 1] == u'{') {
            const size_t close = text.find(u'}', i + 2);
            if (close != std::u16string_view::npos && close > i + 2 && AppendVariable(out, text.substr(i + 2, close - i - 2))) {
                i = close + 1;
                continue;
            }
        } else if (IsNameStart(text[i + 1])) {
            size_t end = i + 2;
            while (end < text.size() && IsNameChar(text[end]))
                ++end;
            if (AppendVariable(out, text.substr(i + 1, end - i - 1))) {
                i = end;
                continue;
            }
        }
        out += c; // not a variable that is set: the text stays as written
        ++i;
    }
    return out;
}

void ParseConfig(std::string_view bytes, const std::string& codeset, Config& config)
{
    // Only "\r\n" ends a line; a bare line feed is part of the line.
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = bytes.substr(start, end - start);
        start = end + 2;

        std::string_view value;
        if (ValueOf(line, "path|", value)) {
            if (value.empty())
                continue;
            std::u16string path = DecodeText(value, codeset);
            CutPath(path);
            path = ExpandEnvironment(path);
            CutPath(path);
            config.path = std::move(path);
        } else if (ValueOf(line, "level|", value)) {
            if (!value.empty())
                config.level = AtoI(value);
        } else if (ValueOf(line, "periodType|", value)) {
            if (!value.empty())
                config.periodType = AtoI(value);
        } else if (ValueOf(line, "funcName|", value)) {
            if (!value.empty())
                config.funcName = AtoI(value) != 0;
        } else if (ValueOf(line, "moduleLogName|", value)) {
            if (!value.empty())
                config.moduleLogName = AtoI(value) != 0;
        }
    }
}

} // namespace cxlog
