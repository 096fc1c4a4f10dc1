#pragma once
// Prints the store's progress lines on the console, with a one-line bar on a terminal.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

class CConsoleProgress {
public:
    CConsoleProgress(std::FILE* out, bool terminal);
    // Thread-safe: called on the worker thread through the progress callback.
    int32_t OnProgress(int32_t position, int32_t maximum, const std::u16string& text);
    // Clears a bar left on the last line.
    void Finish();

    // The bar for a position and maximum, e.g. "[#####     ]  50%"; empty for an empty range.
    static std::string FormatBar(int32_t position, int32_t maximum, int width);

private:
    std::FILE* m_out;
    bool m_terminal;
    bool m_barShown = false;
    std::mutex m_mutex;
};
