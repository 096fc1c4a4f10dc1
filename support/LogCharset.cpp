// The log's narrow text: the locale's character set through iconv.
#include "support/Log.h"
#include "support/TextConvert.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cctype>

namespace cxlog {
namespace {

bool IsUtf8(const std::string& codeset)
{
    std::string compact;
    for (const char c : codeset)
        if (c != '-' && c != '_')
            compact += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return compact.empty() || compact == "UTF8";
}

// One iconv descriptor per thread and direction, opened on first use and kept.
class Converter {
public:
    Converter() = default;
    ~Converter() { Close(); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The descriptor from `from` to `to`; (iconv_t)-1 when iconv does not know them.
    iconv_t Get(const std::string& to, const std::string& from)
    {
        if (to != m_to || from != m_from) {
            Close();
            m_to = to;
            m_from = from;
            m_cd = ::iconv_open(to.c_str(), from.c_str());
        } else if (Valid()) {
            ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
        }
        return m_cd;
    }
    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

private:
    void Close()
    {
        if (Valid())
            ::iconv_close(m_cd);
        m_cd = reinterpret_cast<iconv_t>(-1);
    }

    std::string m_to;
    std::string m_from;
    iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
};

const char* Utf16Name() { return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE"; }

// UTF-8 of `text` appended to `out` while it fits in `limit` bytes; a character that does not fit
// ends the text.
void AppendUtf8Limited(std::string& out, std::u16string_view text, size_t limit)
{
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        size_t units = 1;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        const size_t length = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (out.size() + length > limit)
            return;
        if (length == 1) {
            out += static_cast<char>(cp);
        } else if (length == 2) {
            out += static_cast<char>(0xC0 | (cp >> 6));
        } else if (length == 3) {
            out += static_cast<char>(0xE0 | (cp >> 12));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        }
        if (length >= 3)
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        if (length >= 2)
            out += static_cast<char>(0x80 | (cp & 0x3F));
        i += units - 1;
    }
}

// `text` in `codeset` appended to `out` while it fits in `limit` bytes.
void AppendConvertedLimited(std::string& out, std::u16string_view text, const std::string& codeset, size_t limit)
{
    thread_local Converter converter;
    const iconv_t cd = converter.Get(codeset, Utf16Name());
    if (!converter.Valid()) {
        AppendUtf8Limited(out, text, limit); // an unknown character set: keep the text readable
        return;
    }
    const size_t start = out.size();
    out.resize(std::max(limit, start));
    char* input = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    size_t inputLeft = text.size() * sizeof(char16_t);
    char* output = out.data() + start;
    size_t outputLeft = out.size() - start;
    while (inputLeft > 0) {
        if (::iconv(cd, &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            break; // cut at the last whole character
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // A character the set cannot hold (or half a surrogate pair): its default character.
        if (outputLeft == 0)
            break;
        *output++ = '?';
        --outputLeft;
        const char16_t unit = *reinterpret_cast<const char16_t*>(input);
        size_t skip = sizeof(char16_t);
        if (unit >= 0xD800 && unit <= 0xDBFF && inputLeft >= 2 * sizeof(char16_t)) {
            const char16_t next = *reinterpret_cast<const char16_t*>(input + sizeof(char16_t));
            if (next >= 0xDC00 && next <= 0xDFFF)
                skip = 2 * sizeof(char16_t);
        }
        input += skip;
        inputLeft -= skip;
    }
    ::iconv(cd, nullptr, nullptr, &output, &outputLeft);
    out.resize(static_cast<size_t>(output - out.data()));
}

} // namespace

std::string LocaleCodeset()
{
    locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return "UTF-8";
    std::string codeset = ::nl_langinfo_l(CODESET, locale);
    ::freelocale(locale);
    // The plain C locale reports ASCII; its text is taken as UTF-8, as on any current system.
    if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII" || codeset == "US-ASCII")
        return "UTF-8";
    return codeset;
}

void ConvertLine(std::string& out, std::u16string_view line, const std::string& codeset)
{
    out.clear();
    const bool lineBreak = line.ends_with(u"\r\n");
    if (lineBreak)
        line.remove_suffix(2);
    const size_t limit = kMaxLineBytes - (lineBreak ? 2 : 0);
    if (IsUtf8(codeset))
        AppendUtf8Limited(out, line, limit);
    else
        AppendConvertedLimited(out, line, codeset, limit);
    if (lineBreak)
        out += "\r\n";
}

std::u16string DecodeText(std::string_view bytes, const std::string& codeset)
{
    if (IsUtf8(codeset))
        return Utf8ToWide(bytes);
    thread_local Converter converter;
    const iconv_t cd = converter.Get("UTF-8", codeset);
    if (!converter.Valid())
        return Utf8ToWide(bytes);
    std::string utf8(bytes.size() * 4 + 4, '\0');
    char* input = const_cast<char*>(bytes.data());
    size_t inputLeft = bytes.size();
    char* output = utf8.data();
    size_t outputLeft = utf8.size();
    while (inputLeft > 0) {
        if (::iconv(cd, &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG || outputLeft < 3)
            break;
        // A byte that does not decode: the replacement character, and on with the next byte.
        static constexpr char kReplacement[] = "\xEF\xBF\xBD";
        std::copy(kReplacement, kReplacement + 3, output);
        output += 3;
        outputLeft -= 3;
        ++input;
        --inputLeft;
    }
    utf8.resize(static_cast<size_t>(output - utf8.data()));
    return Utf8ToWide(utf8);
}

} // namespace cxlog
