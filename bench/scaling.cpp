// Scaling: the whole CTavDB::Init (upgrade from version 1 and import, pauses 0) on the benchmark
// unit and on a unit of the same shape ten times its size (100,000 literature in 2,000 folders,
// 200,000 notes, 5,000 web pages, 10,000 attachment files), in the same run. Targets: the large
// unit at most 11x the time and at most 5x the peak memory of the small one; the small one's
// peak under 200 MB.
//
// Each Init runs in a child process of its own, so that its peak memory (ru_maxrss from wait4)
// is its own and not the larger of the two. The units are built once and kept between runs in
// $ARBORA_BENCH_CACHE (default: bench-cache in the build folder); a unit whose build did not
// finish is built again.
#include "bench/BenchUnits.h"
#include "library/OvDataMiddle.h"
#include "support/SyncPathOverride.h"
#include "support/TextConvert.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>

#ifndef ARBORA_BENCH_CACHE_DIR
#define ARBORA_BENCH_CACHE_DIR "bench-cache"
#endif

namespace {

namespace fs = std::filesystem;
using namespace benchunits;

constexpr int kFactor = 10;
constexpr double kTargetTimeRatio = 11.0;
constexpr double kTargetMemoryRatio = 5.0;
constexpr double kTargetPeakMiB = 200.0;
// Raised whenever the unit's shape or the builder's output changes, so that a cached unit of an
// earlier shape is not used.
constexpr int kUnitRevision = 1;
const char16_t kUser[] = u"bench";

struct Outcome {
    double seconds = std::numeric_limits<double>::max();
    double cpu = 0;        // the child's user and system time
    double peakMiB = 0;    // the child's ru_maxrss
};

struct Fixture {
    testkit::ScopedHomeEnv home;
    testkit::TempDir dir;
    std::map<int, fs::path> bases;   // by size factor
    std::map<int, Outcome> best;     // by size factor, the fastest run
    RunFolders runs{dir.Path() / "runs"};
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

fs::path CacheFolder()
{
    const char* chosen = std::getenv("ARBORA_BENCH_CACHE");
    return chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::path(ARBORA_BENCH_CACHE_DIR);
}

// The version-1 unit `factor` times the benchmark unit, from the cache or built into it.
fs::path CachedUnit(int factor)
{
    const fs::path unit = CacheFolder() / ("scaling-x" + std::to_string(factor) + "-r" + std::to_string(kUnitRevision) + ".tav");
    const fs::path done = unit.string() + ".complete";
    if (fs::exists(done) && fs::exists(unit) && fs::exists(testkit::ContentsFolder(unit))) {
        std::printf("cached unit: %s (%.1f MiB)\n", unit.c_str(), static_cast<double>(fs::file_size(unit)) / (1024.0 * 1024.0));
        return unit;
    }
    fs::create_directories(CacheFolder());
    fs::remove(done);
    std::error_code ignored;
    fs::remove_all(testkit::ContentsFolder(unit), ignored);
    const auto start = std::chrono::steady_clock::now();
    BuildBenchUnit(unit, 1, kUnitShape.Times(factor));
    std::printf("built in %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::ofstream(done) << "complete\n";
    return unit;
}

// Runs Init on `unit` in a child process; the child's last progress line comes back through a pipe.
std::string RunInitInChild(const fs::path& unit, double& seconds, rusage& usage)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "pipe failed";
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0)
        return "fork failed";
    if (child == 0) {
        close(channel[0]);
        std::u16string lastLine;
        const int32_t result = RunInit(unit, [&](const std::u16string& text) { lastLine = text; });
        const std::string report = result == 0 && lastLine == u"更新学习单元完成"
                                       ? std::string()
                                       : "Init returned " + std::to_string(result) + ", last line " + testkit::U8(lastLine);
        const ssize_t written = write(channel[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<size_t>(n));
    close(channel[0]);
    int status = 0;
    usage = {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return report.empty() ? "the Init child failed" : report;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

void BM_ScaledInit(benchmark::State& state, int factor)
{
    Fixture& f = Shared();
    for (auto _ : state) {
        const fs::path run = f.runs.Next();
        const fs::path unit = run / ("scaled" + std::to_string(factor) + ".tav");
        CopyUnit(f.bases.at(factor), unit, true);
        fs::create_directories(run / "sync");
        SetSyncPathOverride(Utf8ToWide((run / "sync").string()));

        double seconds = 0;
        rusage usage{};
        std::string failure = RunInitInChild(unit, seconds, usage);
        if (failure.empty())
            failure = CheckImportedLibrary(kUser, kUnitShape.Times(factor));
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            break;
        }
        state.SetIterationTime(seconds);
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        const double peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
        state.counters["cpu_s"] = cpu;
        state.counters["peak_MiB"] = peakMiB;
        Outcome& best = f.best[factor];
        if (seconds < best.seconds)
            best = {seconds, cpu, peakMiB};
    }
}

void PrintTable()
{
    const Fixture& f = Shared();
    if (f.best.count(1) == 0 || f.best.count(kFactor) == 0)
        return;
    const Outcome& small = f.best.at(1);
    const Outcome& large = f.best.at(kFactor);
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("\nload average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::printf("%-28s %9s %9s %11s\n", "Init v1 -> v16 + import", "seconds", "CPU s", "peak MiB");
    std::printf("%-28s %9.3f %9.3f %11.1f\n", "unit (10,000 literature)", small.seconds, small.cpu, small.peakMiB);
    std::printf("%-28s %9.3f %9.3f %11.1f\n", "10x (100,000 literature)", large.seconds, large.cpu, large.peakMiB);
    const double timeRatio = large.seconds / small.seconds;
    const double cpuRatio = large.cpu / small.cpu;
    const double memoryRatio = large.peakMiB / small.peakMiB;
    std::printf("ratios: time %.2fx (CPU %.2fx), target at most %.0fx: %s; peak memory %.2fx, target at most %.0fx: %s; "
                "unit peak under %.0f MB: %s\n",
                timeRatio, cpuRatio, kTargetTimeRatio, timeRatio <= kTargetTimeRatio ? "OK" : "OVER TARGET", memoryRatio,
                kTargetMemoryRatio, memoryRatio <= kTargetMemoryRatio ? "OK" : "OVER TARGET", kTargetPeakMiB,
                small.peakMiB < kTargetPeakMiB ? "OK" : "OVER TARGET");
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Fixture& f = Shared();
    for (int factor : {1, kFactor})
        f.bases[factor] = CachedUnit(factor);
    OvSysUser::Instance().SetUser(kUser);

    for (int factor : {1, kFactor})
        benchmark::RegisterBenchmark(("ScaledInit/x" + std::to_string(factor)).c_str(), BM_ScaledInit, factor)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(factor == 1 ? 3 : 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    return 0;
}
