#pragma once
// CXmlDoc: the system's small XML document engine.
//
// The document is one UTF-16 text (std::u16string) with an index of element positions
// beside it; there is no node tree of separate objects. Navigation moves three cursors
// (parent, main and child position) over the index, reading returns slices of the text
// (attribute values decoded), and changes edit the text in place and shift the index.
// Parsing is forgiving: an ill-formed document is indexed as far as possible, the problems
// are listed in the result text (GetResult) and SetDoc answers whether the document was
// well-formed.
//
// Positions are element record indexes (int32_t); 0 means "document level" for the parent
// and "no position" for the main and child positions. A position taken before SetDoc is
// meaningless afterwards; positions stay valid across changes made through this object.
//
// Limits: every index field is 32 bits wide (start tag length 22 bits, end tag length 10
// bits, nesting level 16 bits). SetDoc refuses a document that does not fit (returns false,
// leaves an empty document and records an "index_overflow" entry); a change that would not
// fit is refused (returns false) and leaves the document unchanged. Nothing recurses over
// the nesting depth.
//
// Not thread-safe; one object belongs to one thread at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One element record: eight 32-bit words.
struct SXmlElemRecord {
    uint32_t start = 0;     // offset of the element's "<"
    uint32_t length = 0;    // characters up to the end of the end tag (or of the start tag)
    uint32_t tagLens = 0;   // bits 0-21 start tag length, bits 22-31 end tag length
    uint32_t flags = 0;     // bits 0-15 level, 0x20000 deleted, 0x80000 first child,
                            // 0x100000 no end tag, 0x200000 ill-formed inside,
                            // 0x800000 (record 0 only) document ill-formed
    int32_t parent = 0;     // parent record (0 = top level)
    int32_t child = 0;      // first child (record 0: the root)
    int32_t next = 0;       // next sibling
    int32_t prev = 0;       // previous sibling; for a first child: the parent's last child
};
static_assert(sizeof(SXmlElemRecord) == 32, "an element record is eight 32-bit words");

// The element index: records in segments of 65,536 (record i is slot i % 65536 of
// segment i / 65536). The segment table grows to twice the needed number of segments plus
// four; a segment holds exactly as many records as needed until it is full.
class CXmlElemIndex {
public:
    static constexpr int32_t kSegmentBits = 16;
    static constexpr int32_t kSegmentSize = 1 << kSegmentBits;

    CXmlElemIndex() = default;
    CXmlElemIndex(const CXmlElemIndex&) = default;
    CXmlElemIndex& operator=(const CXmlElemIndex&) = default;
    // A moved-from index is empty (size 0), never a size without segments.
    CXmlElemIndex(CXmlElemIndex&& other) noexcept;
    CXmlElemIndex& operator=(CXmlElemIndex&& other) noexcept;

    // Capacity in records.
    int32_t Size() const { return m_size; }
    // Makes room for at least newSize records (never shrinks). Existing records are kept.
    void Alloc(int32_t newSize);
    // Drops every record and segment.
    void Clear();
    SXmlElemRecord& operator[](int32_t i) { return m_segs[static_cast<size_t>(i) >> kSegmentBits][static_cast<size_t>(i) & (kSegmentSize - 1)]; }
    const SXmlElemRecord& operator[](int32_t i) const { return m_segs[static_cast<size_t>(i) >> kSegmentBits][static_cast<size_t>(i) & (kSegmentSize - 1)]; }
    size_t SegmentCount() const { return m_segs.size(); }
    size_t SegmentTableCapacity() const { return m_segs.capacity(); }
    size_t SegmentLength(size_t s) const { return m_segs[s].size(); }

private:
    std::vector<std::vector<SXmlElemRecord>> m_segs;
    int32_t m_size = 0;
};

class CXmlDoc {
public:
    // Flags of AddTag / SetAttrib.
    enum : int {
        XML_CDATA = 1,          // AddTag: write the value as a CDATA section
        XML_NO_LINE_BREAK = 2,  // AddTag / AddSubDoc placement: add no line breaks
        XML_EMPTY_SPACE = 4,    // AddTag: write "<name />" instead of "<name/>"
        XML_WITH_REFS = 8,      // encoding: an "&" that already starts a reference is kept
    };
    // Node kinds of the tokenizer (the values are the node types).
    enum NodeType : int {
        NT_END_TAG = 0,
        NT_ELEMENT = 1,
        NT_TEXT = 2,
        NT_WHITESPACE = 4,
        NT_CDATA = 8,
        NT_PI = 16,
        NT_COMMENT = 32,
        NT_DOCTYPE = 64,
        NT_ERROR = -1,
        NT_END = -2,
    };
    // Record flag bits (word 4 of a record).
    static constexpr uint32_t kLevelMask = 0xFFFF;
    static constexpr uint32_t kFlagDeleted = 0x20000;
    static constexpr uint32_t kFlagFirst = 0x80000;
    static constexpr uint32_t kFlagNonEnded = 0x100000;
    static constexpr uint32_t kFlagIllData = 0x200000;
    static constexpr uint32_t kFlagIllFormed = 0x800000;
    // Field limits.
    static constexpr uint32_t kMaxStartTagLen = 0x3FFFFF;   // 22 bits
    static constexpr uint32_t kMaxEndTagLen = 0x3FF;        // 10 bits
    static constexpr uint32_t kMaxLevel = 0xFFFF;           // 16 bits
    static constexpr int32_t kMaxDocLength = 0x7FFFFFFF;    // characters (signed 32-bit)
    static constexpr int32_t kMaxRecords = 0x7FFFFFFF;      // record indexes (signed 32-bit)
    // Entries are added to the result text only while it is shorter than this.
    static constexpr size_t kResultCap = 1000;

    CXmlDoc();
    ~CXmlDoc();
    CXmlDoc(const CXmlDoc&);
    CXmlDoc& operator=(const CXmlDoc&);
    // A moved-from document is empty and usable.
    CXmlDoc(CXmlDoc&&) noexcept;
    CXmlDoc& operator=(CXmlDoc&&) noexcept;

    // Replaces the document (null or empty text: empty document), clears the result text,
    // parses and resets the positions. Returns true exactly when the document is
    // well-formed (one root element, no problems found).
    bool SetDoc(const char16_t* text);
    bool SetDoc(const std::u16string& text);
    bool SetDoc(std::u16string&& text);

    // The current document text.
    const std::u16string& GetDoc() const { return m_doc; }
    // The problems found by the last parse: one empty element per problem,
    // e.g. <lone_end_tag tagname="x" offset="12"/>.
    const std::u16string& GetResult() const { return m_result; }
    // True when the last parse found the document well-formed (SetDoc's answer).
    bool IsWellFormed() const;

    // Navigation. FindTag moves the main position to the next sibling element (or, with no
    // main position, the parent's first child) whose name equals the sought name with exact
    // case; the sought name ends at its end or at a space, "/", "=", "[" or "]" (what follows
    // is not interpreted). Null or empty: the next element. A name beginning with "/" is
    // refused. IntoTag makes the main element the parent; OutOfTag goes back up.
    bool FindTag(const char16_t* name = nullptr);
    bool FindTag(const std::u16string& name) { return FindTag(name.c_str()); }
    bool IntoTag();
    bool OutOfTag();
    void ResetPos();       // parent, main and child position to 0 (document level)
    void ResetMainPos();   // main and child position to 0; FindTag starts again at the first child
    int32_t GetParentPos() const { return m_iPosParent; }
    int32_t GetMainPos() const { return m_iPos; }
    int32_t GetChildPos() const { return m_iPosChild; }
    int GetNodeType() const { return m_nNodeType; }
    // Element name of a position (empty when it is not an element).
    std::u16string GetTagName(int32_t pos) const;
    std::u16string GetTagName() const { return GetTagName(m_iPos); }

    // Attributes: the decoded value, empty when absent or when pos is not an element.
    std::u16string GetAttrib(int32_t pos, const char16_t* name) const;
    std::u16string GetAttrib(int32_t pos, const std::u16string& name) const { return GetAttrib(pos, name.c_str()); }
    std::u16string GetAttrib(const char16_t* name) const { return GetAttrib(m_iPos, name); }
    std::u16string GetAttrib(const std::u16string& name) const { return GetAttrib(m_iPos, name.c_str()); }
    // The index-th attribute (from 0, in written order) of the main element.
    bool GetAttribByIndex(int index, std::u16string& name, std::u16string& value) const;

    // The element's markup, with the white space that follows it when only white space
    // stands between it and the next "<" or the end of the document. Position 0: empty.
    std::u16string GetSubDoc(int32_t pos) const;
    std::u16string GetSubDoc() const { return GetSubDoc(m_iPos); }

    // Changes. SetAttrib replaces the value of an existing attribute or adds one after the
    // last attribute (value encoded, in double quotes). AddTag inserts "<name/>" or
    // "<name>value</name>" after the main element, or at the end of the parent's content when
    // there is no main position, followed by "\r\n" unless XML_NO_LINE_BREAK; the new element
    // becomes the main position. AddSubDoc inserts markup at the same place: one well-formed
    // element alone (true), anything else unchanged (false). RemoveTag removes the main
    // element's text; the main position becomes the previous sibling (0 for the first).
    // Names that would break the markup (empty, white space, quotes, "<", ">", "=", "/" ...)
    // are refused.
    bool SetAttrib(int32_t pos, const char16_t* name, const char16_t* value, int flags = 0);
    bool SetAttrib(int32_t pos, const std::u16string& name, const std::u16string& value, int flags = 0) {
        return SetAttrib(pos, name.c_str(), value.c_str(), flags);
    }
    bool SetAttrib(const char16_t* name, const char16_t* value, int flags = 0) { return SetAttrib(m_iPos, name, value, flags); }
    bool SetAttrib(const std::u16string& name, const std::u16string& value, int flags = 0) {
        return SetAttrib(m_iPos, name.c_str(), value.c_str(), flags);
    }
    bool AddTag(const char16_t* name, const char16_t* value = nullptr, int flags = 0);
    bool AddTag(const std::u16string& name, const std::u16string& value, int flags = 0) {
        return AddTag(name.c_str(), value.c_str(), flags);
    }
    bool AddTag(const std::u16string& name) { return AddTag(name.c_str(), nullptr, 0); }
    bool AddSubDoc(const char16_t* markup);
    bool AddSubDoc(const std::u16string& markup);
    bool RemoveTag();

    // Encoding of text written into the document: flags 0 text mode ("<", "&", ">"),
    // attribute mode also quotes and apostrophes; XML_WITH_REFS keeps existing references.
    static std::u16string EncodeText(const std::u16string& text, int flags = 0);
    static std::u16string EncodeAttrib(const std::u16string& text, int flags = 0);
    // Decoding of text that is read: character and named references (HTML 4 plus "apos").
    static std::u16string DecodeText(const char16_t* text, size_t length);
    static std::u16string DecodeText(const std::u16string& text) { return DecodeText(text.data(), text.size()); }
    // Named reference lookup (the 253-entry table): code point, or 0 when not recognised.
    static uint32_t LookupNamedReference(const char16_t* name, size_t length);

    // Diagnostics for tests and fuzzing: checks that the index is consistent with itself and
    // with the text (links, first-child marks, levels, ranges). Returns an empty text when
    // all is well, else a description of the first fault found.
    std::string CheckIndex() const;
    // Read-only view of the index (record 0 is the document).
    const SXmlElemRecord& Record(int32_t i) const { return m_index[i]; }
    int32_t NextFreeRecord() const { return m_iPosFree; }
    const CXmlElemIndex& Index() const { return m_index; }
    // Lowers the document-length and record-count limits of this object (for tests of the
    // refusal paths). Values above the 32-bit field limits are clamped to them.
    void SetLimits(int32_t maxDocLength, int32_t maxRecords);

private:
    // The operations of the .cpp files work on the members through this helper.
    friend struct CXmlDocImpl;

    std::u16string m_doc;
    std::u16string m_result;
    int32_t m_iPosParent = 0;
    int32_t m_iPos = 0;
    int32_t m_iPosChild = 0;
    int32_t m_iPosFree = 1;
    int m_nNodeType = 0;
    int32_t m_nNodeOffset = 0;
    int32_t m_nNodeLength = 0;
    uint32_t m_nDocFlags = 0;
    CXmlElemIndex m_index;
    int32_t m_maxDocLength = kMaxDocLength;
    int32_t m_maxRecords = kMaxRecords;
};
