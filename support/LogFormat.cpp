// Message formatting and the line layout of the log.
#include "support/Log.h"

#include <algorithm>
#include <climits>

namespace cxlog {
namespace {

constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Cuts `text` to at most `limit` units without leaving half a surrogate pair at the end.
void CutTo(std::u16string& text, size_t limit)
{
    if (text.size() <= limit)
        return;
    text.resize(limit);
    if (!text.empty() && IsHighSurrogate(text.back()))
        text.pop_back();
}

// Digits of `value` in `base`, written backwards from the end of `buffer`; returns the start.
char16_t* Digits(unsigned long long value, unsigned base, bool upper, char16_t* end)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char16_t* p = end;
    do {
        *--p = static_cast<char16_t>(digits[value % base]);
        value /= base;
    } while (value != 0);
    return p;
}

struct Spec {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    char16_t conversion = 0;
};

size_t ReadNumber(std::u16string_view format, size_t& i)
{
    size_t value = 0;
    while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') {
        value = std::min<size_t>(value * 10 + (format[i] - u'0'), 100000);
        ++i;
    }
    return value;
}

// Reads a conversion starting after its '%'; false when the text does not complete one.
bool ReadSpec(std::u16string_view format, size_t& i, Spec& spec)
{
    for (; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c == u'-') spec.left = true;
        else if (c == u'0') spec.zero = true;
        else if (c == u'+') spec.plus = true;
        else if (c == u' ') spec.space = true;
        else if (c == u'#') spec.alternate = true;
        else break;
    }
    spec.width = ReadNumber(format, i);
    if (i < format.size() && format[i] == u'.') {
        ++i;
        spec.hasPrecision = true;
        spec.precision = ReadNumber(format, i);
    }
    while (i < format.size()) {
        const char16_t c = format[i];
        if (c == u'h' || c == u'l' || c == u'L' || c == u'j' || c == u'z' || c == u't' || c == u'w') {
            ++i;
        } else if (c == u'I') {
            ++i;
            if (format.substr(i, 2) == u"64" || format.substr(i, 2) == u"32")
                i += 2;
        } else {
            break;
        }
    }
    if (i >= format.size())
        return false;
    spec.conversion = format[i];
    return std::u16string_view(u"sSdiuoxXc").find(spec.conversion) != std::u16string_view::npos;
}

class Writer {
public:
    explicit Writer(std::u16string& out) : m_out(out) {}
    bool Full() const { return m_out.size() > kMaxMessageLength; }
    void Put(std::u16string_view text)
    {
        const size_t room = kMaxMessageLength + 1 - std::min(m_out.size(), kMaxMessageLength + 1);
        m_out.append(text.substr(0, room));
    }
    void Repeat(char16_t c, size_t count)
    {
        const size_t room = kMaxMessageLength + 1 - std::min(m_out.size(), kMaxMessageLength + 1);
        m_out.append(std::min(count, room), c);
    }
    // Writes prefix (sign or 0x) and body padded to the width of `spec`.
    void Padded(const Spec& spec, std::u16string_view prefix, std::u16string_view body, bool numeric)
    {
        const size_t length = prefix.size() + body.size();
        const size_t pad = spec.width > length ? spec.width - length : 0;
        if (spec.left) {
            Put(prefix);
            Put(body);
            Repeat(u' ', pad);
        } else if (spec.zero && numeric && !spec.hasPrecision) {
            Put(prefix);
            Repeat(u'0', pad);
            Put(body);
        } else {
            Repeat(u' ', pad);
            Put(prefix);
            Put(body);
        }
    }

private:
    std::u16string& m_out;
};

void WriteInteger(Writer& writer, const Spec& spec, const FormatArg& arg)
{
    char16_t buffer[72];
    char16_t* end = buffer + std::size(buffer);
    std::u16string_view prefix;
    unsigned long long magnitude = arg.unsignedValue;
    unsigned base = 10;
    bool upper = false;
    switch (spec.conversion) {
    case u'd':
    case u'i':
    case u's':
    case u'S':
        if (arg.kind == FormatArg::Kind::Signed) {
            const long long value = arg.signedValue;
            magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
            if (value < 0) prefix = u"-";
            else if (spec.plus) prefix = u"+";
            else if (spec.space) prefix = u" ";
        } else {
            magnitude = static_cast<unsigned long long>(arg.signedValue);
        }
        break;
    case u'o':
        base = 8;
        break;
    case u'x':
        base = 16;
        if (spec.alternate && magnitude != 0) prefix = u"0x";
        break;
    case u'X':
        base = 16;
        upper = true;
        if (spec.alternate && magnitude != 0) prefix = u"0X";
        break;
    default: // 'u'
        break;
    }
    char16_t* start = Digits(magnitude, base, upper, end);
    if (spec.hasPrecision) {
        const size_t wanted = std::min<size_t>(spec.precision, 64);
        if (spec.precision == 0 && magnitude == 0)
            start = end;
        while (static_cast<size_t>(end - start) < wanted)
            *--start = u'0';
    }
    writer.Padded(spec, prefix, std::u16string_view(start, static_cast<size_t>(end - start)), true);
}

void WriteArgument(Writer& writer, const Spec& spec, const FormatArg& arg)
{
    if (arg.kind == FormatArg::Kind::Text) {
        std::u16string_view text = arg.text;
        if (spec.conversion == u'c')
            text = text.substr(0, 1);
        else if (spec.hasPrecision && (spec.conversion == u's' || spec.conversion == u'S'))
            text = text.substr(0, spec.precision);
        writer.Padded(spec, {}, text, false);
    } else if (spec.conversion == u'c') {
        const char16_t unit = static_cast<char16_t>(arg.unsignedValue);
        writer.Padded(spec, {}, std::u16string_view(&unit, 1), false);
    } else {
        WriteInteger(writer, spec, arg);
    }
}

void AppendDecimal(std::u16string& out, long long value)
{
    char16_t buffer[32];
    char16_t* end = buffer + std::size(buffer);
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char16_t* start = Digits(magnitude, 10, false, end);
    if (value < 0)
        *--start = u'-';
    out.append(start, end);
}

constexpr std::u16string_view kLevelWords[] = {u"Message", u"Warning", u"Exception", u"Error"};

void AppendLevelWord(std::u16string& out, int32_t level)
{
    if (level >= 0 && level < 4) {
        out += kLevelWords[level];
    } else {
        out += u"Level";
        AppendDecimal(out, level);
    }
}

} // namespace

void FormatMessage(std::u16string& out, std::u16string_view format, std::span<const FormatArg> args)
{
    out.clear();
    Writer writer(out);
    size_t nextArg = 0;
    size_t i = 0;
    while (i < format.size() && !writer.Full()) {
        const size_t percent = format.find(u'%', i);
        if (percent == std::u16string_view::npos) {
            writer.Put(format.substr(i));
            break;
        }
        writer.Put(format.substr(i, percent - i));
        if (percent + 1 < format.size() && format[percent + 1] == u'%') {
            writer.Put(u"%");
            i = percent + 2;
            continue;
        }
        size_t end = percent + 1;
        Spec spec;
        const bool known = ReadSpec(format, end, spec);
        if (!known || nextArg >= args.size()) {
            // Not a conversion we can fill: it prints as it stands.
            end = std::min(end + 1, format.size());
            writer.Put(format.substr(percent, end - percent));
            i = end;
            continue;
        }
        WriteArgument(writer, spec, args[nextArg++]);
        i = end + 1;
    }
    CutTo(out, kMaxMessageLength);
}

std::u16string FormatMessage(std::u16string_view format, std::span<const FormatArg> args)
{
    std::u16string out;
    FormatMessage(out, format, args);
    return out;
}

std::u16string LevelWord(int32_t level)
{
    std::u16string word;
    AppendLevelWord(word, level);
    return word;
}

void FormatLine(std::u16string& out, std::u16string_view timeText, int32_t level, std::u16string_view file,
                std::u16string_view function, int32_t line, std::u16string_view message, bool withFunction)
{
    out.clear();
    out += timeText;
    out += u' ';
    AppendLevelWord(out, level);
    out += u' ';
    if (withFunction) {
        out += file;
        out += u'(';
        out += function;
        out += u", ";
        AppendDecimal(out, line);
        out += u"): ";
    }
    out += message;
    // An over-long line still ends with its line break, so that the next record starts a line.
    if (out.size() + 2 > kMaxLineLength)
        CutTo(out, kMaxLineLength - 2);
    out += u"\r\n";
    // A message that ended with its own line break would leave an empty line.
    if (out.size() > 4 && out.ends_with(u"\r\n\r\n"))
        out.resize(out.size() - 2);
}

std::u16string LogFileName(std::u16string_view moduleName, bool withModuleName, int32_t periodType, const std::tm& localTime)
{
    const char* pattern = "_%Y%m%d.log";
    switch (periodType) {
    case 2: pattern = "_%Y%W.log"; break;
    case 3: pattern = "_%Y%m.log"; break;
    case 4: pattern = "_%Y.log"; break;
    default: break;
    }
    char date[64] = {};
    const size_t dateLength = std::strftime(date, sizeof date, pattern, &localTime);
    const std::string_view datePart(date, std::min(dateLength, kMaxFileNameLength));

    std::u16string name(withModuleName ? moduleName : std::u16string_view());
    CutTo(name, kMaxFileNameLength - datePart.size());
    name.append(datePart.begin(), datePart.end());
    return name;
}

} // namespace cxlog
