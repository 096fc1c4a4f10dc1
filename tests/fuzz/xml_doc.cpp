// Fuzz target for CXmlDoc: parses arbitrary text, then drives navigation, attribute reads and
// every change operation, checking after each step that the index agrees with itself and with
// the text. When the document was well-formed and only clean changes were made, parsing the
// changed text again must give the same elements at the same places.
#include "xml/XmlDoc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(const CXmlDoc& doc, const char* after) {
    const std::string fault = doc.CheckIndex();
    if (!fault.empty()) {
        std::fprintf(stderr, "index fault after %s: %s\n", after, fault.c_str());
        std::abort();
    }
}

// Bytes become UTF-16 code units: ASCII as is, other bytes as CJK letters, a few as lone
// surrogates, so that non-ASCII names and broken text both occur.
std::u16string Widen(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) {
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
        } else if (b >= 0xF8) {
            out += static_cast<char16_t>(0xD800 + (b & 0x7) * 0x100);
        } else {
            out += static_cast<char16_t>(0x4E00 + b);
        }
    }
    return out;
}

std::u16string PickName(FuzzedDataProvider& in) {
    static const char16_t* const kNames[] = {u"a", u"b", u"Item", u"Items", u"NoteItems", u"Note-Package",
                                             u"Comments", u"Comment", u"NoteSet", u"id", u"x:y", u""};
    const size_t k = in.ConsumeIntegralInRange<size_t>(0, sizeof(kNames) / sizeof(kNames[0]));
    if (k < sizeof(kNames) / sizeof(kNames[0])) {
        return kNames[k];
    }
    return Widen(in.ConsumeRandomLengthString(12));
}

struct SShape {
    uint32_t start, length, tagLens, level;
    bool operator==(const SShape& o) const {
        return start == o.start && length == o.length && tagLens == o.tagLens && level == o.level;
    }
};

// Elements in document order (pre-order walk over the links, no recursion).
std::vector<SShape> Shape(const CXmlDoc& doc) {
    std::vector<SShape> out;
    int32_t n = doc.Record(0).child;
    while (n != 0) {
        const SXmlElemRecord& r = doc.Record(n);
        out.push_back(SShape{r.start, r.length, r.tagLens, r.flags & CXmlDoc::kLevelMask});
        if (r.child != 0) {
            n = r.child;
            continue;
        }
        while (n != 0 && doc.Record(n).next == 0) {
            n = doc.Record(n).parent;
        }
        if (n != 0) {
            n = doc.Record(n).next;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    CXmlDoc doc;
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
        // Small limits, so that the refusal paths run as well.
        doc.SetLimits(in.ConsumeIntegralInRange<int32_t>(0, 400), in.ConsumeIntegralInRange<int32_t>(1, 40));
    }
    const std::u16string text = Widen(in.ConsumeRandomLengthString(size));
    const bool wellFormed = doc.SetDoc(text);
    Check(doc, "SetDoc");
    if (wellFormed != doc.IsWellFormed()) {
        std::abort();
    }
    bool clean = wellFormed;
    std::u16string name, value;
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
        const int32_t anyPos = in.ConsumeIntegralInRange<int32_t>(-1, doc.NextFreeRecord() + 1);
        switch (in.ConsumeIntegralInRange<int>(0, 14)) {
        case 0: doc.FindTag(PickName(in)); break;
        case 1: doc.FindTag(nullptr); break;
        case 2: doc.IntoTag(); break;
        case 3: doc.OutOfTag(); break;
        case 4: doc.ResetPos(); break;
        case 5: doc.ResetMainPos(); break;
        case 6: (void)doc.GetAttrib(anyPos, PickName(in)); break;
        case 7: (void)doc.GetAttribByIndex(in.ConsumeIntegralInRange<int>(-1, 8), name, value); break;
        case 8: (void)doc.GetSubDoc(anyPos); (void)doc.GetTagName(anyPos); break;
        case 9: {
            const std::u16string n = PickName(in);
            const std::u16string v = Widen(in.ConsumeRandomLengthString(24));
            doc.SetAttrib(anyPos, n, v, in.ConsumeIntegralInRange<int>(0, 15));
            Check(doc, "SetAttrib");
            break;
        }
        case 10: {
            const std::u16string n = PickName(in);
            const std::u16string v = Widen(in.ConsumeRandomLengthString(24));
            doc.AddTag(n, v, in.ConsumeIntegralInRange<int>(0, 15));
            Check(doc, "AddTag");
            break;
        }
        case 11: {
            const std::u16string markup = Widen(in.ConsumeRandomLengthString(64));
            if (!doc.AddSubDoc(markup) && !markup.empty()) {
                clean = false;
            }
            Check(doc, "AddSubDoc");
            break;
        }
        case 12:
            if (in.ConsumeBool()) {
                // Copy an element of the document itself, as the note upgrade does.
                const std::u16string sub = doc.GetSubDoc(anyPos);
                if (!doc.AddSubDoc(sub) && !sub.empty()) {
                    clean = false;
                }
                Check(doc, "AddSubDoc of a sub-document");
                break;
            }
            doc.RemoveTag();
            Check(doc, "RemoveTag");
            break;
        case 13: {
            if (in.ConsumeBool()) {
                // Parse again in the same object: a smaller or larger text reuses the index.
                const std::u16string next = in.ConsumeBool() ? doc.GetDoc() : Widen(in.ConsumeRandomLengthString(256));
                clean = doc.SetDoc(next);
                Check(doc, "SetDoc again");
                break;
            }
            const std::u16string s = Widen(in.ConsumeRandomLengthString(32));
            (void)CXmlDoc::DecodeText(s);
            const std::u16string enc = CXmlDoc::EncodeAttrib(s, CXmlDoc::XML_WITH_REFS);
            if (CXmlDoc::DecodeText(CXmlDoc::EncodeAttrib(s)) != s) {
                std::abort();  // plain encoding must always decode back
            }
            (void)enc;
            break;
        }
        default: {
            // Parse the current text again: with clean changes the elements must agree.
            CXmlDoc again;
            again.SetDoc(doc.GetDoc());
            Check(again, "reparse");
            if (clean && !(Shape(again) == Shape(doc))) {
                std::fprintf(stderr, "reparse differs\n");
                std::abort();
            }
            break;
        }
        }
    }
    if (clean) {
        CXmlDoc again;
        again.SetDoc(doc.GetDoc());
        if (!(Shape(again) == Shape(doc))) {
            std::fprintf(stderr, "final reparse differs\n");
            std::abort();
        }
    }
    return 0;
}
