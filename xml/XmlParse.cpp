// Parsing (SetDoc) and the document's life cycle.
#include "xml/XmlDocImpl.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

struct SOpen {
    int32_t rec;
    size_t nameStart;
    size_t nameLen;
};

// Finds the open element that an end tag closes. The innermost element is tried first; only
// when that fails (an ill-formed document) is a name table built, so that a long run of lone
// end tags under a deep nesting does not cost depth x count comparisons.
class COpenStack {
public:
    explicit COpenStack(const char16_t* text) : m_text(text) {
        m_stack.reserve(8);  // room for 7 elements beside the document
        m_stack.push_back(SOpen{0, 0, 0});
    }
    size_t Size() const { return m_stack.size(); }
    const SOpen& operator[](size_t k) const { return m_stack[k]; }
    const SOpen& Top() const { return m_stack.back(); }
    void Push(const SOpen& e) {
        m_stack.push_back(e);
        if (m_mapActive) {
            m_names[View(e)].push_back(m_stack.size() - 1);
        }
    }
    // Pops down to size k.
    void PopTo(size_t k) {
        while (m_stack.size() > k) {
            if (m_mapActive) {
                auto it = m_names.find(View(m_stack.back()));
                if (it != m_names.end()) {
                    it->second.pop_back();
                    if (it->second.empty()) {
                        m_names.erase(it);
                    }
                }
            }
            m_stack.pop_back();
        }
    }
    // Stack index of the innermost open element with that name, 0 when none.
    size_t Find(std::u16string_view name) {
        if (m_stack.size() <= 1) {
            return 0;
        }
        if (View(m_stack.back()) == name) {
            return m_stack.size() - 1;
        }
        if (!m_mapActive) {
            if (m_stack.size() <= 16) {
                for (size_t k = m_stack.size() - 1; k >= 1; --k) {
                    if (View(m_stack[k]) == name) {
                        return k;
                    }
                }
                return 0;
            }
            m_mapActive = true;
            for (size_t k = 1; k < m_stack.size(); ++k) {
                m_names[View(m_stack[k])].push_back(k);
            }
        }
        auto it = m_names.find(name);
        return it == m_names.end() ? 0 : it->second.back();
    }

private:
    std::u16string_view View(const SOpen& e) const { return std::u16string_view(m_text + e.nameStart, e.nameLen); }
    const char16_t* m_text;
    std::vector<SOpen> m_stack;
    bool m_mapActive = false;
    std::unordered_map<std::u16string_view, std::vector<size_t>> m_names;
};

struct SParser {
    const char16_t* p;
    size_t len;
    CXmlElemIndex& idx;
    int32_t& next;
    std::u16string& result;
    int32_t maxRecords;
    COpenStack stack;

    void MarkIll() {
        idx[0].flags |= CXmlDoc::kFlagIllFormed;
        idx[stack.Top().rec].flags |= CXmlDoc::kFlagIllData;
    }

    // Closes the open elements stack[from..top] as unended (innermost first): each keeps its
    // start tag only and its children follow it as siblings. offset2 is where the closing
    // happened (the end tag of an outer element, or the document's length).
    void CloseUnended(size_t from, size_t offset2) {
        if (stack.Size() <= from) {
            return;
        }
        const std::u16string offset2Text = CXmlDocImpl::Number(offset2);
        for (size_t j = stack.Size() - 1; j >= from; --j) {
            const SOpen& e = stack[j];
            const int32_t parentRec = stack[j - 1].rec;
            SXmlElemRecord& r = idx[e.rec];
            r.length = CXmlDocImpl::StartTagLen(r);
            r.flags |= CXmlDoc::kFlagNonEnded;
            CXmlDocImpl::AddResult(result, u"unended_start_tag", u"tagname",
                                   std::u16string_view(p + e.nameStart, e.nameLen), u"offset",
                                   CXmlDocImpl::Number(r.start), u"offset2", offset2Text);
            idx[0].flags |= CXmlDoc::kFlagIllFormed;
            // r is the last child of its parent; append r's children after it.
            const int32_t first = r.child;
            if (first != 0) {
                const int32_t last = idx[first].prev;
                r.next = first;
                idx[first].prev = e.rec;
                idx[first].flags &= ~CXmlDoc::kFlagFirst;
                idx[idx[parentRec].child].prev = last;
                r.child = 0;
            }
        }
        // Everything from stack[from] to the end of the list now belongs to stack[from - 1];
        // each element is re-parented here at most once in the whole parse.
        const int32_t newParent = stack[from - 1].rec;
        for (int32_t n = idx[stack[from].rec].next; n != 0; n = idx[n].next) {
            idx[n].parent = newParent;
        }
    }

    bool Overflow(const char16_t* what, size_t offset) {
        CXmlDocImpl::AddResult(result, u"index_overflow", u"type", what, u"offset", CXmlDocImpl::Number(offset));
        return false;
    }

    bool NewRecord(int32_t& rec) {
        if (next >= maxRecords) {
            return false;
        }
        if (next >= idx.Size()) {
            const int64_t size = idx.Size();
            const int64_t grown = std::min<int64_t>(std::max<int64_t>(size + size / 2, int64_t{next} + 8), maxRecords);
            idx.Alloc(static_cast<int32_t>(grown));
        }
        rec = next++;
        idx[rec] = SXmlElemRecord{};
        return true;
    }

    bool Run(uint32_t& maxLevel) {
        SXmlToken node;
        size_t off = 0;
        for (;;) {
            CXmlDocImpl::NextNode(p, len, off, node, result);
            switch (node.type) {
            case CXmlDoc::NT_ELEMENT: {
                const size_t level = stack.Size() - 1;
                if (level > CXmlDoc::kMaxLevel) {
                    return Overflow(u"nesting_level", node.start);
                }
                const size_t startLen = node.end - node.start;
                if (startLen > CXmlDoc::kMaxStartTagLen) {
                    return Overflow(u"start_tag_length", node.start);
                }
                int32_t rec = 0;
                if (!NewRecord(rec)) {
                    return Overflow(u"record_count", node.start);
                }
                const int32_t parentRec = stack.Top().rec;
                SXmlElemRecord& r = idx[rec];
                r.start = static_cast<uint32_t>(node.start);
                r.length = static_cast<uint32_t>(startLen);
                CXmlDocImpl::SetTagLens(r, static_cast<uint32_t>(startLen), 0);
                r.flags = static_cast<uint32_t>(level);
                maxLevel = std::max<uint32_t>(maxLevel, static_cast<uint32_t>(level));
                r.parent = parentRec;
                SXmlElemRecord& parent = idx[parentRec];
                if (parent.child == 0) {
                    parent.child = rec;
                    r.flags |= CXmlDoc::kFlagFirst;
                    r.prev = rec;
                } else {
                    SXmlElemRecord& first = idx[parent.child];
                    const int32_t last = first.prev;
                    idx[last].next = rec;
                    r.prev = last;
                    first.prev = rec;
                }
                if (!node.empty) {
                    stack.Push(SOpen{rec, node.nameStart, node.nameLen});
                }
                break;
            }
            case CXmlDoc::NT_END_TAG: {
                const std::u16string_view name(p + node.nameStart, node.nameLen);
                const size_t k = stack.Find(name);
                if (k == 0) {
                    CXmlDocImpl::AddResult(result, u"lone_end_tag", u"tagname", name, u"offset",
                                           CXmlDocImpl::Number(node.start));
                    MarkIll();
                    break;
                }
                const size_t endLen = node.end - node.start;
                if (endLen > CXmlDoc::kMaxEndTagLen) {
                    return Overflow(u"end_tag_length", node.start);
                }
                CloseUnended(k + 1, node.start);
                SXmlElemRecord& r = idx[stack[k].rec];
                r.length = static_cast<uint32_t>(node.end - r.start);
                CXmlDocImpl::SetTagLens(r, CXmlDocImpl::StartTagLen(r), static_cast<uint32_t>(endLen));
                stack.PopTo(k);
                break;
            }
            case CXmlDoc::NT_ERROR:
                MarkIll();
                break;
            case CXmlDoc::NT_END:
                CloseUnended(1, len);
                stack.PopTo(1);
                return true;
            default:
                break;
            }
            off = node.end;
        }
    }
};

}  // namespace

SXmlParseOutcome CXmlDocImpl::Parse(const char16_t* text, size_t length, CXmlElemIndex& index, int32_t& nextFree,
                                    std::u16string& result, int32_t maxDocLength, int32_t maxRecords) {
    SXmlParseOutcome outcome;
    nextFree = 1;
    if (length > static_cast<size_t>(maxDocLength)) {
        AddResult(result, u"index_overflow", u"type", u"document_length", u"offset", Number(0));
        index.Clear();
        index.Alloc(8);
        index[0] = SXmlElemRecord{};
        outcome.overflow = true;
        return outcome;
    }
    // Sized for one element per 64 characters. An index left by an earlier parse is kept when
    // it is big enough and not much bigger, so that parsing one small text after another does
    // not allocate each time; records are written fresh as they are taken.
    const int32_t need = static_cast<int32_t>(length / 64 + 8);
    if (index.Size() < need || int64_t{index.Size()} > 4 * int64_t{need} + 1024) {
        index.Clear();
        index.Alloc(need);
    }
    index[0] = SXmlElemRecord{};
    if (length == 0) {
        return outcome;
    }
    SParser parser{text, length, index, nextFree, result, maxRecords, COpenStack(text)};
    if (!parser.Run(outcome.maxLevel)) {
        nextFree = 1;
        index.Clear();
        index.Alloc(8);
        index[0] = SXmlElemRecord{};
        outcome.overflow = true;
        return outcome;
    }
    SXmlElemRecord& doc = index[0];
    doc.start = 0;
    doc.length = static_cast<uint32_t>(length);
    // Levels follow the final links (unended elements moved their children up). A parent
    // always has a smaller record index than its children, so one pass in index order does.
    uint32_t maxLevel = 0;
    for (int32_t r = 1; r < nextFree; ++r) {
        SXmlElemRecord& rec = index[r];
        const uint32_t level = rec.parent == 0 ? 0 : Level(index[rec.parent]) + 1;
        SetLevel(rec, level);
        maxLevel = std::max(maxLevel, level);
    }
    outcome.maxLevel = maxLevel;
    const int32_t root = doc.child;
    if (root == 0) {
        AddResult(result, u"no_root_element");
    } else if (index[root].next != 0) {
        AddResult(result, u"root_has_sibling");
    }
    return outcome;
}

bool CXmlDocImpl::WellFormed(const CXmlElemIndex& index, int32_t nextFree) {
    if (nextFree <= 1 || index.Size() == 0) {
        return false;
    }
    const SXmlElemRecord& doc = index[0];
    return (doc.flags & CXmlDoc::kFlagIllFormed) == 0 && doc.child != 0 && index[doc.child].next == 0;
}

CXmlDoc::CXmlDoc() {
    m_index.Alloc(8);
    m_index[0] = SXmlElemRecord{};
}

CXmlDoc::~CXmlDoc() = default;
CXmlDoc::CXmlDoc(const CXmlDoc&) = default;
CXmlDoc& CXmlDoc::operator=(const CXmlDoc&) = default;
CXmlDoc::CXmlDoc(CXmlDoc&& other) noexcept { *this = std::move(other); }

CXmlDoc& CXmlDoc::operator=(CXmlDoc&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    m_doc = std::move(other.m_doc);
    m_result = std::move(other.m_result);
    m_iPosParent = other.m_iPosParent;
    m_iPos = other.m_iPos;
    m_iPosChild = other.m_iPosChild;
    m_iPosFree = other.m_iPosFree;
    m_nNodeType = other.m_nNodeType;
    m_nNodeOffset = other.m_nNodeOffset;
    m_nNodeLength = other.m_nNodeLength;
    m_nDocFlags = other.m_nDocFlags;
    m_index = std::move(other.m_index);
    m_maxDocLength = other.m_maxDocLength;
    m_maxRecords = other.m_maxRecords;
    // The moved-from document is empty: no records (its index has none until a change or a
    // parse makes room), no text, all positions 0.
    other.m_doc.clear();
    other.m_result.clear();
    other.m_iPosFree = 1;
    other.ResetPos();
    return *this;
}

bool CXmlDoc::SetDoc(const char16_t* text) {
    if (text == nullptr) {
        return SetDoc(std::u16string());
    }
    return SetDoc(std::u16string(text));
}

bool CXmlDoc::SetDoc(const std::u16string& text) {
    return SetDoc(std::u16string(text));
}

bool CXmlDoc::SetDoc(std::u16string&& text) {
    m_result.clear();
    m_doc = std::move(text);
    ResetPos();
    const SXmlParseOutcome outcome = CXmlDocImpl::Parse(m_doc.data(), m_doc.size(), m_index, m_iPosFree, m_result,
                                                        m_maxDocLength, m_maxRecords);
    if (outcome.overflow) {
        // Refused: the document does not fit the index. Nothing of it is kept.
        m_doc.clear();
        m_doc.shrink_to_fit();
    }
    ResetPos();
    return !outcome.overflow && CXmlDocImpl::WellFormed(m_index, m_iPosFree);
}

bool CXmlDoc::IsWellFormed() const { return CXmlDocImpl::WellFormed(m_index, m_iPosFree); }

void CXmlDoc::SetLimits(int32_t maxDocLength, int32_t maxRecords) {
    m_maxDocLength = std::clamp<int32_t>(maxDocLength, 0, kMaxDocLength);
    m_maxRecords = std::clamp<int32_t>(maxRecords, 1, kMaxRecords);
}
