// CheckIndex: a self-check of the index against itself and the text, for tests and fuzzing.
#include "xml/XmlDocImpl.h"

#include <string>
#include <vector>

namespace {

std::string Fault(const char* what, int32_t rec) { return std::string(what) + " (record " + std::to_string(rec) + ")"; }

}  // namespace

std::string CXmlDoc::CheckIndex() const {
    const size_t docLen = m_doc.size();
    if (m_index.Size() == 0) {
        // A moved-from document: empty, no records.
        return m_iPosFree == 1 && docLen == 0 && m_iPos == 0 && m_iPosParent == 0 ? "" : "records without an index";
    }
    if (m_iPosFree < 1 || m_iPosFree > m_index.Size()) {
        return "next free record outside the index";
    }
    const SXmlElemRecord& doc = m_index[0];
    if (doc.start != 0 || doc.length != docLen) {
        return Fault("document record does not span the text", 0);
    }
    int32_t live = 0;
    for (int32_t r = 1; r < m_iPosFree; ++r) {
        const SXmlElemRecord& e = m_index[r];
        if ((e.flags & kFlagDeleted) != 0) {
            continue;
        }
        ++live;
        const size_t stl = CXmlDocImpl::StartTagLen(e);
        const size_t etl = CXmlDocImpl::EndTagLen(e);
        if (size_t{e.start} + e.length > docLen) return Fault("element beyond the text", r);
        if (m_doc[e.start] != u'<') return Fault("element does not start with <", r);
        if (stl < 3 || stl + etl > e.length) return Fault("tag lengths do not fit the element", r);
        if (m_doc[e.start + stl - 1] != u'>') return Fault("start tag does not end with >", r);
        if (!xmlchars::IsNameStart(m_doc[e.start + 1])) return Fault("element name does not start properly", r);
        if (etl != 0) {
            const size_t et = size_t{e.start} + e.length - etl;
            if (m_doc[et] != u'<' || m_doc[et + 1] != u'/' || m_doc[e.start + e.length - 1] != u'>') {
                return Fault("end tag misplaced", r);
            }
        } else if (e.length != stl) {
            return Fault("element without end tag longer than its start tag", r);
        }
        if (e.parent < 0 || e.parent >= m_iPosFree) return Fault("parent outside the index", r);
        if (e.parent != 0 && (m_index[e.parent].flags & kFlagDeleted) != 0) return Fault("parent deleted", r);
        const uint32_t level = e.parent == 0 ? 0 : CXmlDocImpl::Level(m_index[e.parent]) + 1;
        if (CXmlDocImpl::Level(e) != level) return Fault("wrong level", r);
    }
    // Walk every child list: each live record must be found exactly once, in its parent's list,
    // in document order, inside the parent's content.
    int32_t found = 0;
    std::vector<int32_t> parents;
    parents.push_back(0);
    for (int32_t r = 1; r < m_iPosFree; ++r) {
        if ((m_index[r].flags & kFlagDeleted) == 0) parents.push_back(r);
    }
    for (int32_t p : parents) {
        const SXmlElemRecord& pr = m_index[p];
        size_t lo = p == 0 ? 0 : size_t{pr.start} + CXmlDocImpl::StartTagLen(pr);
        const size_t hi = p == 0 ? docLen : size_t{pr.start} + pr.length - CXmlDocImpl::EndTagLen(pr);
        const int32_t first = pr.child;
        if (first == 0) continue;
        if (first < 0 || first >= m_iPosFree) return Fault("first child outside the index", p);
        if ((m_index[first].flags & kFlagFirst) == 0) return Fault("first child not marked", first);
        int32_t prev = 0;
        int32_t count = 0;
        for (int32_t c = first; c != 0; c = m_index[c].next) {
            if (c < 0 || c >= m_iPosFree) return Fault("sibling outside the index", p);
            if (++count > m_iPosFree) return Fault("sibling list loops", p);
            const SXmlElemRecord& ce = m_index[c];
            if ((ce.flags & kFlagDeleted) != 0) return Fault("deleted record linked", c);
            if (ce.parent != p) return Fault("child with another parent", c);
            if (c != first && (ce.flags & kFlagFirst) != 0) return Fault("later child marked first", c);
            if (prev != 0 && ce.prev != prev) return Fault("previous-sibling link broken", c);
            if (ce.start < lo || size_t{ce.start} + ce.length > hi) return Fault("child outside its parent's content", c);
            lo = size_t{ce.start} + ce.length;
            prev = c;
            ++found;
        }
        if (m_index[first].prev != prev) return Fault("first child does not point at the last", first);
    }
    if (found != live) return "live records not linked exactly once";
    if (m_iPosParent != 0 && !CXmlDocImpl::IsElementPos(*this, m_iPosParent)) return "parent position invalid";
    if (m_iPos != 0) {
        if (!CXmlDocImpl::IsElementPos(*this, m_iPos)) return "main position invalid";
        if (m_index[m_iPos].parent != m_iPosParent) return "main position not under the parent position";
    }
    if (m_iPosChild != 0) {
        if (!CXmlDocImpl::IsElementPos(*this, m_iPosChild)) return "child position invalid";
        if (m_index[m_iPosChild].parent != m_iPos) return "child position not under the main position";
    }
    return {};
}
