// CXmlDoc on arbitrary text and changes: after each step the index agrees with itself and the text;
// after clean changes to a well-formed document, parsing again gives the same elements at the same places.
#include "fuzz/FuzzCheck.h"
#include "xml/XmlTestUtil.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace {

// ASCII as is, other bytes as CJK letters, a few as lone surrogates: non-ASCII names and broken text.
std::u16string Widen(const std::string& bytes)
{
    std::u16string out;
    for (unsigned char b : bytes)
        out += static_cast<char16_t>(b < 0x80 ? b : b >= 0xF8 ? 0xD800 + (b & 0x7) * 0x100 : 0x4E00 + b);
    return out;
}

std::u16string PickName(FuzzedDataProvider& in)
{
    static const char16_t* const kNames[] = {u"a", u"b", u"Item", u"Items", u"NoteItems", u"id", u"x:y", u""};
    const size_t k = in.ConsumeIntegralInRange<size_t>(0, std::size(kNames));
    return k < std::size(kNames) ? kNames[k] : Widen(in.ConsumeRandomLengthString(12));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    CXmlDoc doc;
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) // small limits, so that the refusal paths run as well
        doc.SetLimits(in.ConsumeIntegralInRange<int32_t>(0, 400), in.ConsumeIntegralInRange<int32_t>(1, 40));
    bool clean = doc.SetDoc(Widen(in.ConsumeRandomLengthString(size)));
    REQUIRE(clean == doc.IsWellFormed());
    std::u16string name, value;
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
        const int32_t anyPos = in.ConsumeIntegralInRange<int32_t>(-1, doc.NextFreeRecord() + 1);
        std::u16string markup;
        switch (in.ConsumeIntegralInRange<int>(0, 13)) {
        case 0: doc.FindTag(in.ConsumeBool() ? PickName(in).c_str() : nullptr); break;
        case 1: doc.IntoTag(); break;
        case 2: doc.OutOfTag(); break;
        case 3: in.ConsumeBool() ? doc.ResetPos() : doc.ResetMainPos(); break;
        case 4: (void)doc.GetAttrib(anyPos, PickName(in)); break;
        case 5: (void)doc.GetAttribByIndex(in.ConsumeIntegralInRange<int>(-1, 8), name, value); break;
        case 6: (void)doc.GetSubDoc(anyPos), (void)doc.GetTagName(anyPos); break;
        case 7:
            name = PickName(in);
            doc.SetAttrib(anyPos, name, Widen(in.ConsumeRandomLengthString(24)), in.ConsumeIntegralInRange<int>(0, 15));
            break;
        case 8:
            name = PickName(in);
            doc.AddTag(name, Widen(in.ConsumeRandomLengthString(24)), in.ConsumeIntegralInRange<int>(0, 15));
            break;
        case 9: // new markup, or a copy of one of the document's own elements
            markup = in.ConsumeBool() ? Widen(in.ConsumeRandomLengthString(64)) : doc.GetSubDoc(anyPos);
            clean = (doc.AddSubDoc(markup) || markup.empty()) && clean;
            break;
        case 10: doc.RemoveTag(); break;
        case 11: // parse again in the same object: a smaller or larger text reuses the index
            clean = doc.SetDoc(in.ConsumeBool() ? doc.GetDoc() : Widen(in.ConsumeRandomLengthString(256)));
            break;
        case 12:
            markup = Widen(in.ConsumeRandomLengthString(32));
            (void)CXmlDoc::DecodeText(markup);
            (void)CXmlDoc::EncodeAttrib(markup, CXmlDoc::XML_WITH_REFS);
            REQUIRE(CXmlDoc::DecodeText(CXmlDoc::EncodeAttrib(markup)) == markup);
            break;
        default: REQUIRE(Inconsistency(doc, clean).empty()); break;
        }
        REQUIRE(doc.CheckIndex().empty());
    }
    REQUIRE(Inconsistency(doc, clean).empty());
    return 0;
}
