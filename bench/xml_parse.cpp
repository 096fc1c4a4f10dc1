// Parse throughput of CXmlDoc::SetDoc against pugixml on the same note-package documents
// (about 1 KB, 100 KB and 10 MB), parsed from memory. Both parsers copy the text they are
// given. Throughput is counted in bytes of the document's UTF-8 form for both.
//
// Run: bench_xml_parse                       (Google Benchmark rows, then a best-of-N summary)
//      bench_xml_parse --benchmark_filter=x  (summary only)
#include "xml/XmlDoc.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::string Utf16ToUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) {  // the generated documents hold no surrogates
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Num(size_t n) {
    std::u16string s;
    do {
        s.insert(s.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return s;
}

// A NoteSet of about 'target' characters: Note-Package, NoteItems and Item elements with
// attributes, text with references, a nested element and now and then a CDATA section.
std::u16string NotePackage(size_t target) {
    std::u16string doc = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<NoteSet>\r\n"
                         u"<Note-Package version=\"3\" title=\"\u7B14\u8BB0 &amp; notes\" owner=\"user01\">\r\n"
                         u"<NoteItems count=\"0\" kind=\"pdf\" modified=\"2017-06-06 09:44:59\">\r\n";
    const std::u16string tail = u"</NoteItems>\r\n</Note-Package>\r\n</NoteSet>\r\n";
    for (size_t i = 0; doc.size() + tail.size() < target; ++i) {
        doc += u"<Item id=\"3F2504E04F8911D39A0C0305E82C" + Num(1000 + i % 9000) + u"\" page=\"" + Num(i % 300) +
               u"\" color=\"#FFCC00\" type=\"" + Num(i % 4) + u"\">";
        if (i % 5 == 0) {
            doc += u"<![CDATA[<b>bold</b> & raw]]>";
        } else {
            doc += u"Highlighted text &lt;" + Num(i) + u"&gt; \u91CD\u70B9 &amp; more";
        }
        doc += u"<Rect x=\"" + Num(i * 7 % 600) + u"\" y=\"" + Num(i * 13 % 800) + u"\" w=\"120\" h=\"16\"/></Item>\r\n";
    }
    return doc + tail;
}

struct SDoc {
    const char* label;
    std::u16string wide;
    std::string utf8;
};

std::vector<SDoc>& Docs() {
    static std::vector<SDoc> docs = [] {
        std::vector<SDoc> d;
        for (auto [label, size] : {std::pair{"1KB", size_t{1024}}, std::pair{"100KB", size_t{100 * 1024}},
                                   std::pair{"10MB", size_t{10 * 1024 * 1024}}}) {
            std::u16string w = NotePackage(size);
            std::string u = Utf16ToUtf8(w);
            d.push_back(SDoc{label, std::move(w), std::move(u)});
        }
        return d;
    }();
    return docs;
}

void BM_CXmlDoc(benchmark::State& state) {
    const SDoc& d = Docs()[static_cast<size_t>(state.range(0))];
    CXmlDoc doc;
    for (auto _ : state) {
        const bool ok = doc.SetDoc(d.wide);
        benchmark::DoNotOptimize(ok);
        if (!ok) state.SkipWithError("document not well-formed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.utf8.size()));
    state.SetLabel(d.label);
}

void BM_Pugixml(benchmark::State& state) {
    const SDoc& d = Docs()[static_cast<size_t>(state.range(0))];
    for (auto _ : state) {
        pugi::xml_document doc;
        const pugi::xml_parse_result r = doc.load_buffer(d.utf8.data(), d.utf8.size(), pugi::parse_default, pugi::encoding_utf8);
        benchmark::DoNotOptimize(r.status);
        if (!r) state.SkipWithError("pugixml refused the document");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.utf8.size()));
    state.SetLabel(d.label);
}

BENCHMARK(BM_CXmlDoc)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pugixml)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// The thread's processor time: the machine is shared, so wall time would also count the
// time other programs ran.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Best of N rounds; each round parses enough copies to run for a few milliseconds at least.
template <typename F>
double BestMBps(size_t bytes, F&& parse) {
    const size_t perRound = std::max<size_t>(1, (4u << 20) / bytes);
    double best = 0;
    for (int round = 0; round < 15; ++round) {
        const double t0 = ThreadSeconds();
        for (size_t i = 0; i < perRound; ++i) parse();
        const double s = ThreadSeconds() - t0;
        best = std::max(best, static_cast<double>(bytes) * static_cast<double>(perRound) / s / 1e6);
    }
    return best;
}

void Summary() {
    std::printf("\nbest of 15 rounds, MB/s of UTF-8 document bytes per second of thread CPU time\n");
    std::printf("%-6s %12s %12s %12s %8s\n", "doc", "bytes", "CXmlDoc", "pugixml", "ratio");
    for (const SDoc& d : Docs()) {
        CXmlDoc doc;
        const double ours = BestMBps(d.utf8.size(), [&] { benchmark::DoNotOptimize(doc.SetDoc(d.wide)); });
        const double pugi = BestMBps(d.utf8.size(), [&] {
            pugi::xml_document p;
            benchmark::DoNotOptimize(p.load_buffer(d.utf8.data(), d.utf8.size(), pugi::parse_default, pugi::encoding_utf8).status);
        });
        std::printf("%-6s %12zu %12.1f %12.1f %8.2f\n", d.label, d.utf8.size(), ours, pugi, pugi / ours);
    }
    std::printf("ratio = pugixml / CXmlDoc (below 1: CXmlDoc is faster)\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Summary();
    return 0;
}
