// Import speed: the whole CTavDB::Init (upgrade to version 16 and import into the personal
// library, pauses 0) on the upgrade benchmark's unit, from version 1 and from version 7, beside
// a full sqlcipher_export copy of the same unit. Targets: Init within 8x of the copy; peak memory
// (ru_maxrss) under 200 MB.
//
// Each run gets a fresh copy of the unit with its companion folder and an empty library, in a
// folder of its own (see RunFolders). The
// import's share is the time from its first line ("导入学习单元《...》") to Init's return; the
// notes phase starts at "导入笔记和标注". A run counts only when Init ends with
// "更新学习单元完成" and the library holds every folder, literature and note.
#include "bench/BenchUnits.h"
#include "library/OvDataMiddle.h"
#include "store/TavDB.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace benchunits;
using Clock = std::chrono::steady_clock;

constexpr double kTargetRatio = 8.0;
constexpr double kTargetPeakMiB = 200.0;
const char16_t kUser[] = u"bench";

struct Timing {
    double total = std::numeric_limits<double>::max();   // seconds
    double import = 0;                                   // from the import's first line on
    double notes = 0;                                    // from "导入笔记和标注" on
    double cpu = 0;                                      // the process's CPU seconds during Init
};

struct Fixture {
    testkit::ScopedHomeEnv home;
    testkit::TempDir dir;
    std::map<int32_t, fs::path> bases;   // by layout version
    std::map<int32_t, Timing> best;      // by layout version, the fastest run
    double bestCopy = std::numeric_limits<double>::max();
    double bestCopyCpu = std::numeric_limits<double>::max();
    RunFolders runs{dir.Path() / "runs"};
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_ImportInit(benchmark::State& state, int32_t version)
{
    Fixture& f = Shared();
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path run = f.runs.Next();
        const fs::path unit = run / ("import" + std::to_string(version) + ".tav");
        CopyUnit(f.bases.at(version), unit, true);
        fs::create_directories(run / "sync");
        SetSyncPathOverride(Utf8ToWide((run / "sync").string()));
        g_cancelFlag.store(0);
        state.ResumeTiming();

        Clock::time_point importStart{};
        Clock::time_point notesStart{};
        std::u16string lastLine;
        const auto start = Clock::now();
        const double cpuStart = CpuSeconds();
        const int32_t result = RunInit(unit, [&](const std::u16string& text) {
            if (importStart == Clock::time_point{} && text.rfind(u"导入学习单元《", 0) == 0)
                importStart = Clock::now();
            else if (text == u"导入笔记和标注")
                notesStart = Clock::now();
            lastLine = text;
        });
        const auto end = Clock::now();
        const double cpu = CpuSeconds() - cpuStart;
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        state.counters["cpu_s"] = cpu;

        state.PauseTiming();
        std::string failure = CheckImportedLibrary(kUser);
        if (result != 0 || lastLine != u"更新学习单元完成")
            failure = "Init returned " + std::to_string(result) + ", last line " + testkit::U8(lastLine);
        if (!failure.empty() || importStart == Clock::time_point{} || notesStart == Clock::time_point{}) {
            state.SkipWithError(failure.empty() ? "no import lines" : failure.c_str());
            break;
        }
        Timing& best = f.best[version];
        if (seconds < best.total)
            best = {seconds, std::chrono::duration<double>(end - importStart).count(),
                    std::chrono::duration<double>(end - notesStart).count(), cpu};
        state.ResumeTiming();
    }
}

void BM_SqlcipherExportCopy(benchmark::State& state)
{
    TimeExportCopy(state, Shared().bases.at(1), Shared().dir.Path() / "export-copy.tav", Shared().bestCopy,
                   &Shared().bestCopyCpu);
}

void PrintTable(long peakBeforeKilobytes)
{
    const Fixture& f = Shared();
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("\nload average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::printf("%-34s %9s %8s %8s %14s %14s\n", "", "seconds", "ratio", "CPU s", "import share", "notes share");
    std::printf("%-34s %9.3f %8s %8.3f\n", "sqlcipher_export copy (v1 unit)", f.bestCopy, "1.00x", f.bestCopyCpu);
    bool met = true;
    for (const auto& [version, t] : f.best) {
        const double ratio = t.total / f.bestCopy;
        met = met && ratio <= kTargetRatio;
        const std::string label = "Init v" + std::to_string(version) + " -> v16 + import";
        std::printf("%-34s %9.3f %7.2fx %8.3f %6.3f s %4.0f%% %6.3f s %4.0f%%  %s\n", label.c_str(), t.total, ratio, t.cpu,
                    t.import,
                    100.0 * t.import / t.total, t.notes, 100.0 * t.notes / t.total,
                    ratio <= kTargetRatio ? "OK" : "OVER TARGET");
    }
    const double peakMiB = static_cast<double>(PeakKilobytes()) / 1024.0;
    std::printf("peak memory (ru_maxrss): %.1f MiB (%.1f MiB before the first run) %s\n", peakMiB,
                static_cast<double>(peakBeforeKilobytes) / 1024.0, peakMiB < kTargetPeakMiB ? "OK" : "OVER TARGET");
    std::printf("targets: Init at most %.0fx the copy, peak memory under %.0f MB: %s\n", kTargetRatio, kTargetPeakMiB,
                met && peakMiB < kTargetPeakMiB ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Fixture& f = Shared();
    for (int32_t version : {1, 7}) {
        const fs::path base = f.dir.Path() / ("base" + std::to_string(version) + ".tav");
        BuildBenchUnit(base, version);
        f.bases[version] = base;
    }
    OvSysUser::Instance().SetUser(kUser);
    const long peakBefore = PeakKilobytes();

    for (int32_t version : {1, 7})
        benchmark::RegisterBenchmark(("ImportInit/v" + std::to_string(version) + "_to_v16_and_import").c_str(),
                                     BM_ImportInit, version)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(2);
    benchmark::RegisterBenchmark("SqlcipherExportCopy", BM_SqlcipherExportCopy)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (f.bestCopy != std::numeric_limits<double>::max() && !f.best.empty())
        PrintTable(peakBefore);
    return 0;
}
