// Navigation and reading: FindTag, IntoTag, OutOfTag, attributes, sub-documents.
#include "xml/XmlDocImpl.h"

#include <string_view>

using namespace xmlchars;

bool CXmlDocImpl::IsElementPos(const CXmlDoc& d, int32_t pos) {
    return pos > 0 && pos < d.m_iPosFree && (d.m_index[pos].flags & CXmlDoc::kFlagDeleted) == 0;
}

size_t CXmlDocImpl::NameEnd(const std::u16string& doc, size_t nameStart, size_t limit) {
    size_t i = nameStart;
    while (i < limit && !IsNameEnd(doc[i])) {
        ++i;
    }
    return i;
}

namespace {

// Skips a quoted span that starts at p[i] (a quote); returns the offset after its closing quote,
// or 'end' when it does not close before 'end'.
size_t SkipQuoted(const std::u16string& p, size_t i, size_t end) {
    const char16_t q = p[i];
    for (size_t k = i + 1; k < end; ++k) {
        if (p[k] == q) {
            return k + 1;
        }
    }
    return end;
}

}  // namespace

// The attribute scanner. It sees quotes exactly where the tokenizer saw them (every quote
// character after the element name opens a span that closes at the same character), so it
// never reads beyond the start tag and agrees with the tokenizer's empty-element decision.
bool CXmlDocImpl::ScanAttrib(const CXmlDoc& d, int32_t pos, size_t& cursor, SXmlAttrSpan& span) {
    const SXmlElemRecord& r = d.m_index[pos];
    const std::u16string& p = d.m_doc;
    const size_t start = r.start;
    const size_t stl = StartTagLen(r);
    if (stl < 2 || start + stl > p.size()) {
        return false;
    }
    const size_t end = start + stl - 1;  // the closing ">"
    size_t i = cursor == 0 ? NameEnd(p, start + 1, end) : cursor;
    for (;;) {
        while (i < end && IsSpace(p[i])) {
            ++i;
        }
        if (i >= end) {
            cursor = end;
            return false;
        }
        const char16_t c = p[i];
        if (c == u'/' || c == u'?') {
            ++i;
            continue;
        }
        if (c == u'=') {
            // A value without a name: skipped.
            ++i;
            while (i < end && IsSpace(p[i])) {
                ++i;
            }
            while (i < end && !IsSpace(p[i])) {
                i = IsQuote(p[i]) ? SkipQuoted(p, i, end) : i + 1;
            }
            continue;
        }
        span = SXmlAttrSpan{};
        span.nameStart = i;
        while (i < end && !IsSpace(p[i]) && p[i] != u'/' && p[i] != u'=' && p[i] != u'?') {
            i = IsQuote(p[i]) ? SkipQuoted(p, i, end) : i + 1;
        }
        span.nameEnd = i;
        span.valueStart = span.valueEnd = span.end = i;
        size_t j = i;
        while (j < end && IsSpace(p[j])) {
            ++j;
        }
        if (j < end && p[j] == u'=') {
            span.hasValue = true;
            i = j + 1;
            while (i < end && IsSpace(p[i])) {
                ++i;
            }
            if (i < end && IsQuote(p[i])) {
                span.quoted = true;
                span.valueStart = i + 1;
                const size_t after = SkipQuoted(p, i, end);
                // A span always closes inside a start tag that the tokenizer accepted.
                span.valueEnd = after > span.valueStart && after <= end && p[after - 1] == p[i] ? after - 1 : after;
                i = after;
            } else {
                span.valueStart = i;
                while (i < end && !IsSpace(p[i])) {
                    i = IsQuote(p[i]) ? SkipQuoted(p, i, end) : i + 1;
                }
                span.valueEnd = i;
            }
            span.end = i;
        }
        cursor = i;
        return true;
    }
}

bool CXmlDoc::FindTag(const char16_t* name) {
    if (m_iPosFree <= 1) {
        return false;
    }
    int32_t cand = m_iPos != 0 ? m_index[m_iPos].next : m_index[m_iPosParent].child;
    if (name == nullptr || name[0] == u'\0') {
        if (cand == 0) {
            return false;
        }
    } else {
        if (name[0] == u'/') {
            return false;
        }
        size_t n = 0;
        while (name[n] != u'\0' && !xmlchars::IsSoughtNameEnd(name[n])) {
            ++n;
        }
        const std::u16string_view sought(name, n);
        while (cand != 0) {
            const SXmlElemRecord& r = m_index[cand];
            const size_t nameStart = r.start + 1;
            const size_t limit = r.start + CXmlDocImpl::StartTagLen(r);
            const size_t nameEnd = CXmlDocImpl::NameEnd(m_doc, nameStart, limit);
            if (n != 0 && std::u16string_view(m_doc.data() + nameStart, nameEnd - nameStart) == sought) {
                break;
            }
            cand = r.next;
        }
        if (cand == 0) {
            return false;
        }
    }
    m_iPos = cand;
    m_iPosChild = 0;
    m_nNodeType = NT_ELEMENT;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
    return true;
}

bool CXmlDoc::IntoTag() {
    if (m_nNodeType != NT_ELEMENT || !CXmlDocImpl::IsElementPos(*this, m_iPos)) {
        return false;
    }
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    m_nNodeType = m_iPos != 0 ? NT_ELEMENT : 0;
    return true;
}

bool CXmlDoc::OutOfTag() {
    if (m_iPosParent == 0 || !CXmlDocImpl::IsElementPos(*this, m_iPosParent)) {
        return false;
    }
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = m_index[m_iPos].parent;
    m_nNodeType = NT_ELEMENT;
    return true;
}

void CXmlDoc::ResetPos() {
    m_iPosParent = 0;
    ResetMainPos();
}

void CXmlDoc::ResetMainPos() {
    m_iPos = 0;
    m_iPosChild = 0;
    m_nNodeType = 0;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
}

std::u16string CXmlDoc::GetTagName(int32_t pos) const {
    if (!CXmlDocImpl::IsElementPos(*this, pos)) {
        return {};
    }
    const SXmlElemRecord& r = m_index[pos];
    const size_t nameStart = r.start + 1;
    const size_t nameEnd = CXmlDocImpl::NameEnd(m_doc, nameStart, r.start + CXmlDocImpl::StartTagLen(r));
    return m_doc.substr(nameStart, nameEnd - nameStart);
}

std::u16string CXmlDoc::GetAttrib(int32_t pos, const char16_t* name) const {
    if (name == nullptr || !CXmlDocImpl::IsElementPos(*this, pos)) {
        return {};
    }
    const std::u16string_view sought(name);
    size_t cursor = 0;
    SXmlAttrSpan span;
    while (CXmlDocImpl::ScanAttrib(*this, pos, cursor, span)) {
        if (std::u16string_view(m_doc.data() + span.nameStart, span.nameEnd - span.nameStart) == sought) {
            return DecodeText(m_doc.data() + span.valueStart, span.valueEnd - span.valueStart);
        }
    }
    return {};
}

bool CXmlDoc::GetAttribByIndex(int index, std::u16string& name, std::u16string& value) const {
    if (index < 0 || m_nNodeType != NT_ELEMENT || !CXmlDocImpl::IsElementPos(*this, m_iPos)) {
        return false;
    }
    size_t cursor = 0;
    SXmlAttrSpan span;
    int k = 0;
    while (CXmlDocImpl::ScanAttrib(*this, m_iPos, cursor, span)) {
        if (k == index) {
            name = m_doc.substr(span.nameStart, span.nameEnd - span.nameStart);
            value = DecodeText(m_doc.data() + span.valueStart, span.valueEnd - span.valueStart);
            return true;
        }
        ++k;
    }
    return false;
}

std::u16string CXmlDoc::GetSubDoc(int32_t pos) const {
    if (!CXmlDocImpl::IsElementPos(*this, pos)) {
        return {};
    }
    const SXmlElemRecord& r = m_index[pos];
    const size_t start = r.start;
    size_t end = start + r.length;
    if (end > m_doc.size()) {
        return {};
    }
    // Trailing white space up to a "<" or the end of the document comes along.
    size_t i = end;
    while (i < m_doc.size() && xmlchars::IsSpace(m_doc[i])) {
        ++i;
    }
    if (i == m_doc.size() || m_doc[i] == u'<') {
        end = i;
    }
    return m_doc.substr(start, end - start);
}
