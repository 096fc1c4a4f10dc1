// Encoding of text written into the document, decoding of text that is read, and the
// entries of the result text.
#include "xml/XmlDocImpl.h"

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// With flag 8: does an "&" at text[i] already start a reference? "&", then "#", ":", a letter,
// "_" or a code unit of 128 or more, then letters, digits, "-", ".", ":", "_" or such code
// units, then ";".
bool StartsReference(const char16_t* text, size_t length, size_t i) {
    size_t k = i + 1;
    if (k >= length) {
        return false;
    }
    const char16_t first = text[k];
    if (!(first == u'#' || first == u':' || first == u'_' || IsAsciiLetter(first) || first >= 128)) {
        return false;
    }
    for (++k; k < length; ++k) {
        const char16_t c = text[k];
        if (c == u';') {
            return true;
        }
        if (!(IsAsciiLetter(c) || IsDigit(c) || c == u'-' || c == u'.' || c == u':' || c == u'_' || c >= 128)) {
            return false;
        }
    }
    return false;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The code point of a reference body (the characters between "&" and ";"), 0 when it is not
// recognised.
uint32_t ResolveReference(const char16_t* body, size_t n) {
    if (n == 0) {
        return 0;
    }
    uint32_t code = 0;
    if (body[0] == u'#') {
        if (n >= 2 && (body[1] == u'x' || body[1] == u'X')) {
            if (n == 2) {
                return 0;
            }
            for (size_t i = 2; i < n; ++i) {
                const int v = HexValue(body[i]);
                if (v < 0) {
                    return 0;
                }
                code = code * 16 + static_cast<uint32_t>(v);  // at most 7 digits: no overflow
            }
        } else {
            if (n == 1) {
                return 0;
            }
            for (size_t i = 1; i < n; ++i) {
                if (!IsDigit(body[i])) {
                    return 0;
                }
                code = code * 10 + static_cast<uint32_t>(body[i] - u'0');  // at most 8 digits
            }
        }
        // Not a character: beyond Unicode, or a lone surrogate.
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return 0;
        }
        return code;
    }
    return CXmlDoc::LookupNamedReference(body, n);
}

}  // namespace

std::u16string CXmlDocImpl::Encode(const char16_t* text, size_t length, bool attribute, int flags) {
    std::u16string out;
    out.reserve(length + length / 8);
    for (size_t i = 0; i < length; ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'&':
            if ((flags & CXmlDoc::XML_WITH_REFS) != 0 && StartsReference(text, length, i)) {
                out += c;
            } else {
                out += u"&amp;";
            }
            break;
        case u'"':
            if (attribute) out += u"&quot;"; else out += c;
            break;
        case u'\'':
            if (attribute) out += u"&apos;"; else out += c;
            break;
        default: out += c; break;
        }
    }
    return out;
}

std::u16string CXmlDoc::EncodeText(const std::u16string& text, int flags) {
    return CXmlDocImpl::Encode(text.data(), text.size(), false, flags);
}

std::u16string CXmlDoc::EncodeAttrib(const std::u16string& text, int flags) {
    return CXmlDocImpl::Encode(text.data(), text.size(), true, flags);
}

std::u16string CXmlDoc::DecodeText(const char16_t* text, size_t length) {
    std::u16string out;
    if (text == nullptr) {
        return out;
    }
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        const char16_t c = text[i];
        if (c != u'&') {
            out += c;
            ++i;
            continue;
        }
        // Read up to 9 following characters, stopping at ";" or at a code unit of 128 or more.
        const size_t limit = (length - (i + 1) < 9) ? length : i + 1 + 9;
        size_t j = i + 1;
        while (j < limit && text[j] != u';' && text[j] < 128) {
            ++j;
        }
        if (j < limit && text[j] == u';') {
            const uint32_t code = ResolveReference(text + i + 1, j - (i + 1));
            if (code != 0) {
                if (code >= 0x10000) {
                    const uint32_t v = code - 0x10000;
                    out += static_cast<char16_t>(0xD800 + (v >> 10));
                    out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
                } else {
                    out += static_cast<char16_t>(code);
                }
                i = j + 1;
                continue;
            }
        }
        // Not a reference: the "&" is a plain character.
        out += c;
        ++i;
    }
    return out;
}

std::u16string CXmlDocImpl::Number(size_t n) {
    char16_t buf[24];
    size_t k = sizeof(buf) / sizeof(buf[0]);
    do {
        buf[--k] = static_cast<char16_t>(u'0' + n % 10);
        n /= 10;
    } while (n != 0);
    return std::u16string(buf + k, buf + sizeof(buf) / sizeof(buf[0]));
}

void CXmlDocImpl::AddResult(std::u16string& result, const char16_t* name, const char16_t* attr1,
                            std::u16string_view value1, const char16_t* attr2, std::u16string_view value2,
                            const char16_t* attr3, std::u16string_view value3) {
    if (result.size() >= CXmlDoc::kResultCap) {
        return;
    }
    result += u'<';
    result += name;
    const char16_t* attrs[3] = {attr1, attr2, attr3};
    const std::u16string_view values[3] = {value1, value2, value3};
    for (int k = 0; k < 3; ++k) {
        if (attrs[k] == nullptr) {
            break;
        }
        result += u' ';
        result += attrs[k];
        result += u"=\"";
        result += Encode(values[k].data(), values[k].size(), true, 0);
        result += u'"';
    }
    result += u"/>";
}
