#pragma once
// The two things that tie the learning-unit store to whichever front end runs it:
// the progress callback the store reports through, and the process-wide cancel flag.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// (position, maximum, one log line without line end) -> ignored result.
// May be empty; callers test before calling.
using ProgressCallback = std::function<int32_t(int32_t position, int32_t maximum, const std::u16string& text)>;

// Side channel beside the progress lines: the number of rows (read or imported) a run has passed
// so far, reported at each of the store's pauses, so that a front end can show life during a long
// loop that reports no line. Not part of the line sequence. May be empty.
using ActivityCallback = std::function<void(int64_t rowsDone)>;

// 0: the import goes on; nonzero: the user cancelled. Only the front end stores, the worker loads.
extern std::atomic<int32_t> g_cancelFlag;

// Reports one line when the callback is set.
inline void ReportProgress(const ProgressCallback& callback, int32_t position, int32_t maximum, const std::u16string& text)
{
    if (callback)
        callback(position, maximum, text);
}

inline bool IsCancelRequested()
{
    return g_cancelFlag.load(std::memory_order_relaxed) != 0;
}
