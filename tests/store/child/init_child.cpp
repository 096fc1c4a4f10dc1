// Runs CTavDB::Init on one unit for WriteFailureTest, which may kill it. A program of its own: a
// forked copy of the multi-threaded test (log writer, sanitizer runtime) can inherit a lock another
// thread held and hang, so the test spawns this instead.
//
// Usage: init_child UNIT FILE_SIZE_LIMIT|- [KILL_AT]
// Its files may not grow beyond the limit (a full disk). Writes each progress line to standard
// output as it comes, then "=" with Init's result, the run's cause (and its detail) and its notes. After reporting
// KILL_AT it waits for the signal instead of going on; such a run keeps SQLite's memory short,
// so that a step's changes spill into the file before it ends, as in a large unit: the kill then
// leaves a hot journal behind.
#include "store/TavDB.h"
#include "support/TextConvert.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include <string>

namespace {

// Unbuffered, so the test sees a line before the child goes on.
void Send(const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + sent, text.size() - sent);
        if (n <= 0)
            _exit(3);
        sent += static_cast<size_t>(n);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4)
        return 2;
    if (std::string(argv[2]) != "-") {
        const rlim_t size = std::strtoull(argv[2], nullptr, 10);
        const rlimit limit{size, size};
        signal(SIGXFSZ, SIG_IGN); // a write beyond the limit fails with EFBIG instead
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
    }
    const std::string killAt = argc == 4 ? argv[3] : "";
    if (!killAt.empty())
        sqlite3_soft_heap_limit64(64 * 1024);
    CTavDB store;
    store.SetPauseMilliseconds(0);
    std::u16string tavId;
    const int result = store.Init(Utf8ToWide(argv[1]), tavId, u"", [&](int32_t, int32_t, const std::u16string& text) {
        const std::string line = WideToUtf8(text);
        Send(line + "\n");
        while (!killAt.empty() && line == killAt)
            pause();
        return 1;
    });
    std::string end = "=" + std::to_string(result) + " " + std::to_string(static_cast<int>(store.RunReport().cause));
    if (!store.RunReport().detail.empty())
        end += " " + WideToUtf8(store.RunReport().detail);
    for (const std::u16string& note : store.RunReport().notes)
        end += "\n" + WideToUtf8(note);
    Send(end);
    return 0;
}
