// Changing the document: SetAttrib, AddTag, AddSubDoc, RemoveTag.
//
// Every change first checks that the result fits the index (document length, tag lengths,
// levels, record count) and only then edits the text and shifts the index, so a refused
// change leaves the document exactly as it was.
#include "xml/XmlDocImpl.h"

#include <algorithm>

using namespace xmlchars;

bool CXmlDocImpl::ValidTagName(const char16_t* name, size_t& length) {
    if (name == nullptr || name[0] == u'\0' || !IsNameStart(name[0])) {
        return false;
    }
    size_t n = 0;
    while (name[n] != u'\0') {
        if (IsNameEnd(name[n])) {
            return false;
        }
        ++n;
    }
    length = n;
    return true;
}

bool CXmlDocImpl::ValidAttribName(const char16_t* name, size_t& length) {
    if (name == nullptr || name[0] == u'\0') {
        return false;
    }
    size_t n = 0;
    for (; name[n] != u'\0'; ++n) {
        const char16_t c = name[n];
        if (IsSpace(c) || IsQuote(c) || c == u'/' || c == u'=' || c == u'>' || c == u'?' || c == u'<') {
            return false;
        }
    }
    length = n;
    return true;
}

bool CXmlDocImpl::EnsureRecords(CXmlDoc& d, int32_t count) {
    if (count < 0 || int64_t{d.m_iPosFree} + count > int64_t{d.m_maxRecords}) {
        return false;
    }
    const int64_t need = int64_t{d.m_iPosFree} + count;
    if (need > d.m_index.Size()) {
        const int64_t size = d.m_index.Size();
        const int64_t grown = std::min<int64_t>(std::max<int64_t>(size + size / 2, need), d.m_maxRecords);
        d.m_index.Alloc(static_cast<int32_t>(grown));
    }
    return true;
}

bool CXmlDocImpl::Replace(CXmlDoc& d, size_t offset, size_t oldLen, const std::u16string& text, int32_t growFrom) {
    const int64_t newLen = static_cast<int64_t>(d.m_doc.size()) - static_cast<int64_t>(oldLen) +
                           static_cast<int64_t>(text.size());
    if (newLen > d.m_maxDocLength || offset + oldLen > d.m_doc.size()) {
        return false;
    }
    const int64_t delta = static_cast<int64_t>(text.size()) - static_cast<int64_t>(oldLen);
    d.m_doc.replace(offset, oldLen, text);
    const size_t threshold = offset + oldLen;
    for (int32_t r = 1; r < d.m_iPosFree; ++r) {
        SXmlElemRecord& rec = d.m_index[r];
        if ((rec.flags & CXmlDoc::kFlagDeleted) == 0 && rec.start >= threshold) {
            rec.start = static_cast<uint32_t>(rec.start + delta);
        }
    }
    for (int32_t a = growFrom; a != 0; a = d.m_index[a].parent) {
        d.m_index[a].length = static_cast<uint32_t>(d.m_index[a].length + delta);
    }
    d.m_index[0].length = static_cast<uint32_t>(d.m_doc.size());
    return true;
}

void CXmlDocImpl::LinkAfter(CXmlDoc& d, int32_t rec, int32_t parent, int32_t after) {
    CXmlElemIndex& idx = d.m_index;
    SXmlElemRecord& r = idx[rec];
    r.parent = parent;
    r.flags &= ~CXmlDoc::kFlagFirst;
    if (after != 0) {
        SXmlElemRecord& a = idx[after];
        r.next = a.next;
        r.prev = after;
        a.next = rec;
        if (r.next != 0) {
            idx[r.next].prev = rec;
        } else {
            idx[idx[parent].child].prev = rec;  // rec is the new last child
        }
        return;
    }
    const int32_t first = idx[parent].child;
    r.next = 0;
    if (first == 0) {
        idx[parent].child = rec;
        r.prev = rec;
        r.flags |= CXmlDoc::kFlagFirst;
        return;
    }
    const int32_t last = idx[first].prev;
    idx[last].next = rec;
    r.prev = last;
    idx[first].prev = rec;
}

void CXmlDocImpl::Unlink(CXmlDoc& d, int32_t rec) {
    CXmlElemIndex& idx = d.m_index;
    SXmlElemRecord& r = idx[rec];
    const int32_t parent = r.parent;
    if ((r.flags & CXmlDoc::kFlagFirst) != 0) {
        const int32_t next = r.next;
        idx[parent].child = next;
        if (next != 0) {
            idx[next].flags |= CXmlDoc::kFlagFirst;
            idx[next].prev = r.prev;  // the last child (next itself when it is the last)
        }
    } else {
        const int32_t prev = r.prev;
        idx[prev].next = r.next;
        if (r.next != 0) {
            idx[r.next].prev = prev;
        } else {
            idx[idx[parent].child].prev = prev;  // prev is the new last child
        }
    }
    r.next = 0;
    r.prev = 0;
    r.flags &= ~CXmlDoc::kFlagFirst;
}

// Inserts markup where AddTag puts a new element: after the main element (and the white space
// that follows it when a "<" follows that), else at the end of the parent's content. Opens a
// parent written as an empty element. markupAt receives the offset of the markup.
bool CXmlDocImpl::InsertMarkup(CXmlDoc& d, const std::u16string& markup, int flags, uint32_t extraLevels,
                               int32_t extraRecords, size_t& markupAt) {
    const int32_t parent = d.m_iPosParent;
    const int32_t main = d.m_iPos;
    if (parent != 0 && !IsElementPos(d, parent)) {
        return false;
    }
    if (main != 0 && (!IsElementPos(d, main) || d.m_index[main].parent != parent)) {
        return false;
    }
    const uint32_t levelBase = parent != 0 ? Level(d.m_index[parent]) + 1 : 0;
    if (int64_t{levelBase} + extraLevels > int64_t{CXmlDoc::kMaxLevel}) {
        return false;
    }
    if (!EnsureRecords(d, extraRecords)) {
        return false;
    }
    const std::u16string lineBreak = (flags & CXmlDoc::XML_NO_LINE_BREAK) != 0 ? u"" : u"\r\n";
    std::u16string& doc = d.m_doc;
    if (main != 0) {
        const SXmlElemRecord& m = d.m_index[main];
        size_t at = size_t{m.start} + m.length;
        size_t j = at;
        while (j < doc.size() && IsSpace(doc[j])) {
            ++j;
        }
        if (j < doc.size() && doc[j] == u'<') {
            at = j;
        }
        if (!Replace(d, at, 0, markup + lineBreak, parent)) {
            return false;
        }
        markupAt = at;
        return true;
    }
    if (parent == 0) {
        const size_t at = doc.size();
        if (!Replace(d, at, 0, markup + lineBreak, 0)) {
            return false;
        }
        markupAt = at;
        return true;
    }
    const SXmlElemRecord& p = d.m_index[parent];
    const size_t start = p.start;
    const size_t stl = StartTagLen(p);
    const size_t etl = EndTagLen(p);
    if (etl == 0) {
        // Open the parent: it gets an end tag after the new markup.
        const size_t nameEnd = NameEnd(doc, start + 1, start + stl);
        const std::u16string endTag = u"</" + doc.substr(start + 1, nameEnd - (start + 1)) + u">";
        if (endTag.size() > CXmlDoc::kMaxEndTagLen) {
            return false;
        }
        const bool nonEnded = (p.flags & CXmlDoc::kFlagNonEnded) != 0;
        const bool slash = !nonEnded && stl >= 3 && doc[start + stl - 2] == u'/';
        size_t newStl = stl;
        if (slash) {
            // "/>" becomes ">" and a line break. A tag may end in more than one slash ("<a x='1'//>"):
            // they all go, or the text would still close the element that the index now opens.
            size_t slashes = 1;
            while (start + stl - 2 - slashes > start + 1 && doc[start + stl - 2 - slashes] == u'/') {
                ++slashes;
            }
            if (!Replace(d, start + stl - 1 - slashes, slashes + 1, u">" + lineBreak + markup + lineBreak + endTag,
                         parent)) {
                return false;
            }
            newStl = stl - slashes;
        } else {
            if (!Replace(d, start + stl, 0, lineBreak + markup + lineBreak + endTag, parent)) {
                return false;
            }
        }
        SXmlElemRecord& pw = d.m_index[parent];
        SetTagLens(pw, static_cast<uint32_t>(newStl), static_cast<uint32_t>(endTag.size()));
        pw.flags &= ~CXmlDoc::kFlagNonEnded;
        markupAt = start + newStl + lineBreak.size();
        return true;
    }
    const size_t at = start + p.length - etl;
    if (p.length == stl + etl) {
        // Empty content: a line break before the new markup as well.
        if (!Replace(d, at, 0, lineBreak + markup + lineBreak, parent)) {
            return false;
        }
        markupAt = at + lineBreak.size();
        return true;
    }
    if (!Replace(d, at, 0, markup + lineBreak, parent)) {
        return false;
    }
    markupAt = at;
    return true;
}

bool CXmlDoc::AddTag(const char16_t* name, const char16_t* value, int flags) {
    size_t nameLen = 0;
    if (!CXmlDocImpl::ValidTagName(name, nameLen)) {
        return false;
    }
    const std::u16string tagName(name, nameLen);
    std::u16string markup;
    size_t startLen = 0;
    size_t endLen = 0;
    if (value == nullptr || value[0] == u'\0') {
        markup = u"<" + tagName + ((flags & XML_EMPTY_SPACE) != 0 ? u" />" : u"/>");
        startLen = markup.size();
    } else {
        const std::u16string v(value);
        markup = u"<" + tagName + u">";
        startLen = markup.size();
        if ((flags & XML_CDATA) != 0) {
            markup += u"<![CDATA[";
            size_t from = 0;
            for (;;) {
                const size_t k = v.find(u"]]>", from);
                if (k == std::u16string::npos) {
                    markup.append(v, from, std::u16string::npos);
                    break;
                }
                markup.append(v, from, k - from);
                markup += u"]]]]><![CDATA[>";
                from = k + 3;
            }
            markup += u"]]>";
        } else {
            markup += CXmlDocImpl::Encode(v.data(), v.size(), false, flags);
        }
        markup += u"</" + tagName + u">";
        endLen = nameLen + 3;
    }
    if (startLen > kMaxStartTagLen || endLen > kMaxEndTagLen) {
        return false;
    }
    size_t at = 0;
    if (!CXmlDocImpl::InsertMarkup(*this, markup, flags, 0, 1, at)) {
        return false;
    }
    const int32_t parent = m_iPosParent;
    const int32_t rec = m_iPosFree++;
    SXmlElemRecord& r = m_index[rec];
    r = SXmlElemRecord{};
    r.start = static_cast<uint32_t>(at);
    r.length = static_cast<uint32_t>(markup.size());
    CXmlDocImpl::SetTagLens(r, static_cast<uint32_t>(startLen), static_cast<uint32_t>(endLen));
    CXmlDocImpl::SetLevel(r, parent != 0 ? CXmlDocImpl::Level(m_index[parent]) + 1 : 0);
    CXmlDocImpl::LinkAfter(*this, rec, parent, m_iPos);
    m_iPos = rec;
    m_iPosChild = 0;
    m_nNodeType = NT_ELEMENT;
    return true;
}

bool CXmlDoc::SetAttrib(int32_t pos, const char16_t* name, const char16_t* value, int flags) {
    size_t nameLen = 0;
    if (!CXmlDocImpl::IsElementPos(*this, pos) || !CXmlDocImpl::ValidAttribName(name, nameLen)) {
        return false;
    }
    const std::u16string_view sought(name, nameLen);
    const std::u16string encoded = value != nullptr
        ? CXmlDocImpl::Encode(value, std::char_traits<char16_t>::length(value), true, flags)
        : std::u16string();
    const SXmlElemRecord& r = m_index[pos];
    const size_t stl = CXmlDocImpl::StartTagLen(r);
    size_t lastEnd = CXmlDocImpl::NameEnd(m_doc, size_t{r.start} + 1, size_t{r.start} + stl);
    size_t cursor = 0;
    SXmlAttrSpan span;
    bool found = false;
    while (CXmlDocImpl::ScanAttrib(*this, pos, cursor, span)) {
        if (std::u16string_view(m_doc.data() + span.nameStart, span.nameEnd - span.nameStart) == sought) {
            found = true;
            break;
        }
        lastEnd = span.end;
    }
    size_t offset = 0;
    size_t oldLen = 0;
    std::u16string text;
    if (found) {
        if (span.quoted) {
            offset = span.valueStart - 1;
            oldLen = span.end - offset;
            text = u"\"" + encoded + u"\"";
        } else if (span.hasValue) {
            offset = span.valueStart;
            oldLen = span.valueEnd - span.valueStart;
            text = u"\"" + encoded + u"\"";
        } else {
            offset = span.nameEnd;
            text = u"=\"" + encoded + u"\"";
        }
    } else {
        offset = lastEnd;
        text = u" " + std::u16string(sought) + u"=\"" + encoded + u"\"";
    }
    const int64_t newStl = static_cast<int64_t>(stl) + static_cast<int64_t>(text.size()) - static_cast<int64_t>(oldLen);
    if (newStl > static_cast<int64_t>(kMaxStartTagLen) || newStl < 2) {
        return false;
    }
    const uint32_t etl = CXmlDocImpl::EndTagLen(r);
    if (!CXmlDocImpl::Replace(*this, offset, oldLen, text, pos)) {
        return false;
    }
    CXmlDocImpl::SetTagLens(m_index[pos], static_cast<uint32_t>(newStl), etl);
    return true;
}

bool CXmlDoc::AddSubDoc(const std::u16string& markup) {
    if (markup.empty()) {
        return false;
    }
    CXmlElemIndex sub;
    int32_t subNext = 1;
    std::u16string subResult;
    const SXmlParseOutcome outcome =
        CXmlDocImpl::Parse(markup.data(), markup.size(), sub, subNext, subResult, m_maxDocLength, m_maxRecords);
    if (outcome.overflow) {
        return false;
    }
    const bool wellFormed = CXmlDocImpl::WellFormed(sub, subNext);
    std::u16string text;
    size_t base = 0;
    if (wellFormed) {
        const SXmlElemRecord& root = sub[sub[0].child];
        base = root.start;
        text = markup.substr(root.start, root.length);
    } else {
        text = markup;
    }
    const int32_t count = subNext - 1;
    size_t at = 0;
    if (!CXmlDocImpl::InsertMarkup(*this, text, wellFormed ? 0 : XML_NO_LINE_BREAK, outcome.maxLevel, count, at)) {
        return false;
    }
    const int32_t parent = m_iPosParent;
    const uint32_t levelBase = parent != 0 ? CXmlDocImpl::Level(m_index[parent]) + 1 : 0;
    const int32_t recBase = m_iPosFree - 1;
    auto map = [recBase](int32_t t) { return t != 0 ? t + recBase : 0; };
    for (int32_t t = 1; t < subNext; ++t) {
        const SXmlElemRecord& s = sub[t];
        SXmlElemRecord& r = m_index[t + recBase];
        r = s;
        r.start = static_cast<uint32_t>(s.start - base + at);
        r.parent = s.parent != 0 ? map(s.parent) : parent;
        r.child = map(s.child);
        r.next = map(s.next);
        r.prev = map(s.prev);
        CXmlDocImpl::SetLevel(r, CXmlDocImpl::Level(s) + levelBase);
    }
    m_iPosFree += count;
    int32_t after = m_iPos;
    int32_t first = 0;
    for (int32_t t = sub[0].child; t != 0; t = sub[t].next) {
        const int32_t rec = map(t);
        CXmlDocImpl::LinkAfter(*this, rec, parent, after);
        after = rec;
        if (first == 0) {
            first = rec;
        }
    }
    if (first != 0) {
        m_iPos = first;
        m_iPosChild = 0;
        m_nNodeType = NT_ELEMENT;
    }
    return wellFormed;
}

bool CXmlDoc::AddSubDoc(const char16_t* markup) {
    if (markup == nullptr) {
        return false;
    }
    return AddSubDoc(std::u16string(markup));
}

bool CXmlDoc::RemoveTag() {
    const int32_t rec = m_iPos;
    if (m_nNodeType != NT_ELEMENT || !CXmlDocImpl::IsElementPos(*this, rec)) {
        return false;
    }
    const SXmlElemRecord r = m_index[rec];
    const int32_t prevSibling = (r.flags & kFlagFirst) != 0 ? 0 : r.prev;
    CXmlDocImpl::Unlink(*this, rec);
    // Mark the record and its descendants deleted (no recursion).
    m_index[rec].flags |= kFlagDeleted;
    int32_t n = m_index[rec].child;
    while (n != 0) {
        m_index[n].flags |= kFlagDeleted;
        if (m_index[n].child != 0) {
            n = m_index[n].child;
            continue;
        }
        while (n != 0 && n != rec && m_index[n].next == 0) {
            n = m_index[n].parent;
        }
        if (n == 0 || n == rec) {
            break;
        }
        n = m_index[n].next;
    }
    CXmlDocImpl::Replace(*this, r.start, r.length, std::u16string(), r.parent);
    m_iPos = prevSibling;
    m_iPosChild = 0;
    m_nNodeType = prevSibling != 0 ? NT_ELEMENT : 0;
    return true;
}
