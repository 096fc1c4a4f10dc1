#pragma once
// The large learning unit that the upgrade and import benchmarks share, and what both time it
// against: a full sqlcipher_export copy. A header, not a .cpp: every bench/*.cpp is a program.
//
// The unit: 10,000 literature in 200 folders (nested two deep, every tenth literature filed in a
// second folder), 20,000 notes with note packages, every fifth note with a label, 500 web pages,
// and 1,000 small attachment files in the companion folder (the first 1,000 literature's
// stored paths lead to them).
#include "builder/UnitBuilder.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace benchunits {

namespace fs = std::filesystem;

inline constexpr int kLiterature = 10000;
inline constexpr int kNotes = 20000;
inline constexpr int kFolders = 200;
inline constexpr int kWebPages = 500;
inline constexpr int kAttachments = 1000;

inline testkit::UnitSpec BenchUnitSpec(int32_t version)
{
    testkit::UnitSpec spec = testkit::BulkSpec(version, kLiterature, kNotes, kFolders, kWebPages);
    spec.encrypted = true;
    for (size_t i = 0; i < spec.literature.size(); ++i) {
        testkit::LiteratureSpec& literature = spec.literature[i];
        if (i % 10 == 9)
            literature.folderIds.push_back(1 + (literature.folderIds.front() + kFolders / 2 - 1) % kFolders);
        if (i < static_cast<size_t>(kAttachments))
            // BulkSpec stores "D:\单元\bulk<pkid>.pdf": the import finds the file by its name.
            spec.companionFiles.push_back(
                {"bulk" + std::to_string(literature.pkid) + ".pdf", "%PDF-1.4\n% attachment " + std::to_string(i) + "\n"});
    }
    return spec;
}

// Builds the unit in a child process, so that the memory the UnitSpec and the builder take never
// counts in the benchmark's own peak (ru_maxrss of RUSAGE_SELF leaves children out).
inline void BuildBenchUnit(const fs::path& path, int32_t version)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        int status = 0;
        try {
            testkit::BuildUnit(path, BenchUnitSpec(version));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "building %s failed: %s\n", path.c_str(), e.what());
            status = 1;
        }
        std::fflush(nullptr);
        _exit(status);   // no destructors: the parent owns the temporary folders
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("cannot build the benchmark unit " + path.string());
    std::printf("version-%d unit: %d literature (%d in two folders), %d notes, %d folders, %d web pages, "
                "%d attachment files, %.1f MiB\n",
                version, kLiterature, kLiterature / 10, kNotes, kFolders, kWebPages, kAttachments,
                static_cast<double>(fs::file_size(path)) / (1024.0 * 1024.0));
}

// The process's CPU time so far (all threads): steadier than wall time on a shared machine.
inline double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

inline long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A fresh copy of `base` at `target` for one run; the companion folder is copied too when
// `withContents`, else left out (an earlier run's one is removed).
inline void CopyUnit(const fs::path& base, const fs::path& target, bool withContents)
{
    std::error_code ignored;
    fs::remove_all(testkit::ContentsFolder(target), ignored);
    fs::remove(target, ignored);
    fs::copy_file(base, target, fs::copy_options::overwrite_existing);
    if (withContents)
        fs::copy(testkit::ContentsFolder(base), testkit::ContentsFolder(target), fs::copy_options::recursive);
}

// The yardstick: sqlcipher_export of the whole unit into a new encrypted file.
inline void ExportCopy(const fs::path& source, const fs::path& target)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + source.string());
    }
    sqlite3_key(db, testkit::kUnitKey, testkit::kUnitKeyLength);
    const std::string sql = "attach database '" + target.string() + "' as copy key '" + testkit::kUnitKey +
                            "'; select sqlcipher_export('copy'); detach database copy;";
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error("sqlcipher_export failed: " + message);
}

// One benchmark iteration per state iteration: times ExportCopy from `base` into a new `target`
// and keeps the fastest time in `best` (seconds).
inline void TimeExportCopy(benchmark::State& state, const fs::path& base, const fs::path& target, double& best,
                           double* bestCpu = nullptr)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ignored;
        fs::remove(target, ignored);
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        ExportCopy(base, target);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["cpu_s"] = CpuSeconds() - cpuStart;
        best = std::min(best, seconds);
        if (bestCpu != nullptr)
            *bestCpu = std::min(*bestCpu, CpuSeconds() - cpuStart);
    }
}

}  // namespace benchunits
