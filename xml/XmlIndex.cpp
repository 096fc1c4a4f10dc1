// The element index: records in segments of 65,536.
#include "xml/XmlDoc.h"

#include <algorithm>

void CXmlElemIndex::Alloc(int32_t newSize) {
    if (newSize <= m_size) {
        return;
    }
    const size_t size = static_cast<size_t>(newSize);
    const size_t needSegs = (size + kSegmentSize - 1) >> kSegmentBits;
    if (needSegs > m_segs.capacity()) {
        // The table of segments grows to twice the needed number plus four.
        m_segs.reserve(2 * needSegs + 4);
    }
    while (m_segs.size() < needSegs) {
        m_segs.emplace_back();
    }
    for (size_t s = 0; s < needSegs; ++s) {
        const size_t target = std::min<size_t>(kSegmentSize, size - s * kSegmentSize);
        std::vector<SXmlElemRecord>& seg = m_segs[s];
        if (seg.size() < target) {
            // A segment holds exactly as many records as needed until it is full.
            std::vector<SXmlElemRecord> grown;
            grown.reserve(target);
            grown.assign(seg.begin(), seg.end());
            grown.resize(target);
            seg.swap(grown);
        }
    }
    m_size = newSize;
}

void CXmlElemIndex::Clear() {
    m_segs.clear();
    m_segs.shrink_to_fit();
    m_size = 0;
}

CXmlElemIndex::CXmlElemIndex(CXmlElemIndex&& other) noexcept : m_segs(std::move(other.m_segs)), m_size(other.m_size) {
    other.m_segs.clear();
    other.m_size = 0;
}

CXmlElemIndex& CXmlElemIndex::operator=(CXmlElemIndex&& other) noexcept {
    if (this != &other) {
        m_segs = std::move(other.m_segs);
        m_size = other.m_size;
        other.m_segs.clear();
        other.m_size = 0;
    }
    return *this;
}
