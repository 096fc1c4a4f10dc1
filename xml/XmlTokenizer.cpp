// The tokenizer: one node from a given offset.
#include "xml/XmlDocImpl.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace xmlchars;

namespace {

// The scans below look at eight code units at a time where SSE2 is there (every x86-64);
// the plain loops finish the rest and serve other processors.
size_t FindChar(const char16_t* p, size_t len, size_t from, char16_t c) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= len; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, needle));
        if (mask != 0) {
            return i + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        }
    }
#endif
    for (; i < len; ++i) {
        if (p[i] == c) {
            return i;
        }
    }
    return len;
}

// The first code unit from 'from' that is at most ">" (0x3E): every character that matters
// inside a start tag (white space, quotes, "=", "/", ">") is one of those.
size_t FindLowChar(const char16_t* p, size_t len, size_t from) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i limit = _mm_set1_epi16(0x3E);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= len; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, limit), zero));
        if (mask != 0) {
            return i + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        }
    }
#endif
    for (; i < len; ++i) {
        if (p[i] <= 0x3E) {
            return i;
        }
    }
    return len;
}

// Offset of the first character of a 2- or 3-character sequence from 'from', or len.
size_t FindSeq(const char16_t* p, size_t len, size_t from, const char16_t* seq, size_t n) {
    if (len < n) {
        return len;
    }
    for (size_t i = from; i + n <= len; ++i) {
        if (p[i] == seq[0]) {
            size_t k = 1;
            while (k < n && p[i + k] == seq[k]) {
                ++k;
            }
            if (k == n) {
                return i;
            }
        }
    }
    return len;
}

const char16_t* KindName(int type) {
    switch (type) {
    case CXmlDoc::NT_ELEMENT: return u"start_tag";
    case CXmlDoc::NT_END_TAG: return u"end_tag";
    case CXmlDoc::NT_CDATA: return u"cdata_section";
    case CXmlDoc::NT_PI: return u"processing_instruction";
    case CXmlDoc::NT_COMMENT: return u"comment";
    case CXmlDoc::NT_DOCTYPE: return u"document_type";
    default: return u"tag";
    }
}

void Unterminated(size_t len, int kind, SXmlToken& node, std::u16string& result) {
    CXmlDocImpl::AddResult(result, u"unterminated_tag_syntax", u"type", KindName(kind), u"offset",
                           CXmlDocImpl::Number(node.start));
    node.type = CXmlDoc::NT_ERROR;
    node.end = len;
}

// A syntax error of the "<!" family: the node runs to the next ">" (or the end).
void SyntaxError(const char16_t* p, size_t len, size_t from, const char16_t* entry, size_t offset,
                 SXmlToken& node, std::u16string& result) {
    CXmlDocImpl::AddResult(result, entry, u"offset", CXmlDocImpl::Number(offset));
    node.type = CXmlDoc::NT_ERROR;
    const size_t gt = FindChar(p, len, from, u'>');
    node.end = gt < len ? gt + 1 : len;
}

// A markup node that runs to its closing sequence ("?>", "-->", "]]>").
void Delimited(const char16_t* p, size_t len, size_t from, const char16_t* closer, size_t n, int kind,
               SXmlToken& node, std::u16string& result) {
    const size_t e = FindSeq(p, len, from, closer, n);
    if (e >= len) {
        Unterminated(len, kind, node, result);
        return;
    }
    node.type = kind;
    node.end = e + n;
}

// A start tag from p[off] == '<' (name start already checked).
void StartTag(const char16_t* p, size_t len, size_t off, SXmlToken& node, std::u16string& result) {
    size_t i = off + 1;
    while (i < len && !IsNameEnd(p[i])) {
        ++i;
    }
    node.nameStart = off + 1;
    node.nameLen = i - (off + 1);
    bool unquotedValue = false;  // inside an unquoted attribute value
    while (i < len) {
        char16_t c = p[i];
        if (c > 0x3E) {
            // Name or value characters: jump to the next character that matters.
            i = FindLowChar(p, len, i + 1);
            if (i >= len) {
                break;
            }
            c = p[i];
        }
        if (c == u'>') {
            node.type = CXmlDoc::NT_ELEMENT;
            node.end = i + 1;
            node.empty = !unquotedValue && p[i - 1] == u'/';
            return;
        }
        if (IsQuote(c)) {
            const size_t q = FindChar(p, len, i + 1, c);
            if (q >= len) {
                break;
            }
            i = q + 1;
            continue;
        }
        if (IsSpace(c)) {
            unquotedValue = false;
            ++i;
            continue;
        }
        if (c == u'=') {
            ++i;
            while (i < len && IsSpace(p[i])) {
                ++i;
            }
            if (i < len && !IsQuote(p[i]) && p[i] != u'>') {
                unquotedValue = true;
            }
            continue;
        }
        ++i;
    }
    Unterminated(len, CXmlDoc::NT_ELEMENT, node, result);
}

// A document type declaration from "<!D".
void DocType(const char16_t* p, size_t len, size_t off, SXmlToken& node, std::u16string& result) {
    size_t i = off + 3;
    bool subset = false;
    while (i < len) {
        const char16_t c = p[i];
        if (IsQuote(c)) {
            const size_t q = FindChar(p, len, i + 1, c);
            if (q >= len) {
                break;
            }
            i = q + 1;
            continue;
        }
        if (c == u'[' && !subset) {
            subset = true;
        } else if (c == u']' && subset) {
            subset = false;
        } else if (c == u'>' && !subset) {
            node.type = CXmlDoc::NT_DOCTYPE;
            node.end = i + 1;
            return;
        } else if (c == u'<' && subset) {
            if (i + 1 < len && p[i + 1] == u'!') {
                if (i + 3 < len && p[i + 2] == u'-' && p[i + 3] == u'-') {
                    const size_t e = FindSeq(p, len, i + 4, u"-->", 3);
                    if (e >= len) {
                        break;
                    }
                    i = e + 3;
                    continue;
                }
                const char16_t k = i + 2 < len ? p[i + 2] : u'\0';
                if (k == u'A' || k == u'E' || k == u'N') {
                    // A markup declaration: to its ">" outside quotes.
                    size_t j = i + 3;
                    bool closed = false;
                    while (j < len) {
                        if (IsQuote(p[j])) {
                            const size_t q = FindChar(p, len, j + 1, p[j]);
                            if (q >= len) {
                                j = len;
                                break;
                            }
                            j = q + 1;
                            continue;
                        }
                        if (p[j] == u'>') {
                            closed = true;
                            break;
                        }
                        ++j;
                    }
                    if (!closed) {
                        break;
                    }
                    i = j + 1;
                    continue;
                }
            }
            SyntaxError(p, len, i + 1, u"doctype_tag_syntax", i, node, result);
            return;
        }
        ++i;
    }
    Unterminated(len, CXmlDoc::NT_DOCTYPE, node, result);
}

}  // namespace

void CXmlDocImpl::NextNode(const char16_t* p, size_t len, size_t off, SXmlToken& node, std::u16string& result) {
    node.start = off;
    node.nameStart = 0;
    node.nameLen = 0;
    node.empty = false;
    if (off >= len) {
        node.type = CXmlDoc::NT_END;
        node.end = len;
        return;
    }
    if (p[off] != u'<') {
        size_t i = off;
        while (i < len && IsSpace(p[i])) {
            ++i;
        }
        if (i >= len || p[i] == u'<') {
            node.type = CXmlDoc::NT_WHITESPACE;
            node.end = i;
            return;
        }
        node.type = CXmlDoc::NT_TEXT;
        node.end = FindChar(p, len, i, u'<');
        return;
    }
    const char16_t c = off + 1 < len ? p[off + 1] : u'\0';
    if (off + 1 < len && IsNameStart(c)) {
        StartTag(p, len, off, node, result);
        return;
    }
    switch (c) {
    case u'/': {
        size_t i = off + 2;
        while (i < len && !IsNameEnd(p[i])) {
            ++i;
        }
        node.nameStart = off + 2;
        node.nameLen = i - node.nameStart;
        const size_t gt = FindChar(p, len, i, u'>');
        if (gt >= len) {
            Unterminated(len, CXmlDoc::NT_END_TAG, node, result);
            return;
        }
        node.type = CXmlDoc::NT_END_TAG;
        node.end = gt + 1;
        return;
    }
    case u'?':
        Delimited(p, len, off + 2, u"?>", 2, CXmlDoc::NT_PI, node, result);
        return;
    case u'!': {
        const char16_t c2 = off + 2 < len ? p[off + 2] : u'\0';
        const char16_t c3 = off + 3 < len ? p[off + 3] : u'\0';
        if (c2 == u'-') {
            if (c3 != u'-') {
                SyntaxError(p, len, off + 2, u"comment_tag_syntax", off, node, result);
                return;
            }
            Delimited(p, len, off + 4, u"-->", 3, CXmlDoc::NT_COMMENT, node, result);
            return;
        }
        if (c2 == u'[') {
            if (c3 != u'C') {
                SyntaxError(p, len, off + 2, u"cdata_section_syntax", off, node, result);
                return;
            }
            Delimited(p, len, off + 3, u"]]>", 3, CXmlDoc::NT_CDATA, node, result);
            return;
        }
        if (c2 == u'D') {
            DocType(p, len, off, node, result);
            return;
        }
        SyntaxError(p, len, off + 2, u"exclamation_tag_syntax", off, node, result);
        return;
    }
    default:
        // "<" followed by any other character (or by nothing): only the "<" is the node.
        AddResult(result, u"first_tag_syntax", u"offset", Number(off));
        node.type = CXmlDoc::NT_ERROR;
        node.end = off + 1;
        return;
    }
}
