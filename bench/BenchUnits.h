#pragma once
// The large learning unit that the upgrade and import benchmarks share, and what both time it
// against: a full sqlcipher_export copy. A header, not a .cpp: every bench/*.cpp is a program.
//
// The unit: 10,000 literature in 200 folders (nested two deep, every tenth literature filed in a
// second folder), 20,000 notes with note packages, every fifth note with a label, 500 web pages,
// and 1,000 small attachment files in the companion folder (the first 1,000 literature's
// stored paths lead to them).
#include "builder/UnitBuilder.h"
#include "library/LibraryReader.h"
#include "store/TavDB.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace benchunits {

namespace fs = std::filesystem;

// How much the unit holds; the scaling benchmark multiplies every count.
struct BenchShape {
    int literature = 10000;
    int notes = 20000;
    int folders = 200;
    int webPages = 500;
    int attachments = 1000;

    BenchShape Times(int factor) const
    {
        return {literature * factor, notes * factor, folders * factor, webPages * factor, attachments * factor};
    }
};
inline constexpr BenchShape kUnitShape{};

inline testkit::UnitSpec BenchUnitSpec(int32_t version, const BenchShape& shape = kUnitShape)
{
    testkit::UnitSpec spec = testkit::BulkSpec(version, shape.literature, shape.notes, shape.folders, shape.webPages);
    spec.encrypted = true;
    for (size_t i = 0; i < spec.literature.size(); ++i) {
        testkit::LiteratureSpec& literature = spec.literature[i];
        if (i % 10 == 9)
            literature.folderIds.push_back(1 + (literature.folderIds.front() + shape.folders / 2 - 1) % shape.folders);
        if (i < static_cast<size_t>(shape.attachments))
            // BulkSpec stores "D:\单元\bulk<pkid>.pdf": the import finds the file by its name.
            spec.companionFiles.push_back(
                {"bulk" + std::to_string(literature.pkid) + ".pdf", "%PDF-1.4\n% attachment " + std::to_string(i) + "\n"});
    }
    return spec;
}

// Builds the unit in a child process, so that the memory the UnitSpec and the builder take never
// counts in the benchmark's own peak (ru_maxrss of RUSAGE_SELF leaves children out).
inline void BuildBenchUnit(const fs::path& path, int32_t version, const BenchShape& shape = kUnitShape)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        int status = 0;
        try {
            testkit::BuildUnit(path, BenchUnitSpec(version, shape));
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
                version, shape.literature, shape.literature / 10, shape.notes, shape.folders, shape.webPages,
                shape.attachments, static_cast<double>(fs::file_size(path)) / (1024.0 * 1024.0));
}

// CTavDB::Init on `unit` with pauses 0; `onLine` sees every progress line. Returns Init's result.
inline int32_t RunInit(const fs::path& unit, const std::function<void(const std::u16string&)>& onLine)
{
    CTavDB store;
    store.SetPauseMilliseconds(0);
    std::u16string tavId;
    return store.Init(testkit::U16(unit.string()), tavId, u"", [&](int32_t, int32_t, const std::u16string& text) {
        onLine(text);
        return 1;
    });
}

// Empty when `user`'s library holds one complete entry with everything a unit of `shape` had,
// else what is wrong.
inline std::string CheckImportedLibrary(const std::u16string& user, const BenchShape& shape = kUnitShape)
{
    CLibraryReader reader(user);
    std::vector<SLibraryEntry> entries;
    if (reader.ListEntries(entries) != 0 || entries.size() != 1)
        return "the library does not hold exactly one entry";
    const SLibraryEntry& entry = entries.front();
    // The upgrade turns the web pages that are not in the recycle bin into literature of one more folder.
    if (!entry.Complete || entry.FolderCount != shape.folders + 1 ||
        entry.LiteratureCount != shape.literature + shape.webPages * 9 / 10 || entry.NoteCount != shape.notes)
        return "the entry holds " + std::to_string(entry.FolderCount) + " folders, " +
               std::to_string(entry.LiteratureCount) + " literature, " + std::to_string(entry.NoteCount) + " notes" +
               (entry.Complete ? "" : ", incomplete");
    std::vector<SLibraryAttachment> attachments;
    if (reader.ListAttachments(entry.TavGuid, attachments) != 0 ||
        attachments.size() != static_cast<size_t>(shape.attachments))
        return "the entry holds " + std::to_string(attachments.size()) + " attachments";
    return {};
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

// A folder of its own for every run, none removed before the end of the program. ext4 without a
// journal (the benchmark machines' file system) walks the inodes freed in the last minutes one by
// one before it hands out a new one, so a run that creates its files right after the previous
// run (or program) removed its own pays for that removal (over 1 ms per file at times). The root
// is marked as the top of a hierarchy, so that each run's folder is placed in an inode group of
// its own.
class RunFolders {
public:
    explicit RunFolders(fs::path root) : m_root(std::move(root))
    {
        fs::create_directories(m_root);
        const int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_TOPDIR_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);   // a file system without the flag just spreads less
        }
        if (fd >= 0)
            ::close(fd);
    }

    fs::path Next()
    {
        // ext4 starts its search for a folder's group from a hash of the name: a name of its
        // own each time, or every program would land in the group the previous one just freed.
        fs::path folder = m_root / ("run" + std::to_string(++m_count) + "-" + std::to_string(m_random()));
        fs::create_directories(folder);
        return folder;
    }

private:
    fs::path m_root;
    int m_count = 0;
    std::random_device m_random;
};

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
