// Fuzz target for the `log.cfg` reader: arbitrary bytes, read in UTF-8 and in GB18030 (a
// double-byte code page), must give settings within their limits and never crash or hang.
#include "support/Log.h"

#include <cstdio>
#include <cstdlib>

static void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "log.cfg fault: %s\n", what);
        std::abort();
    }
}

static void ParseIn(std::string_view bytes, const std::string& codeset)
{
    cxlog::Config config;
    cxlog::ParseConfig(bytes, codeset, config);
    // The folder is cut to the length the log allows, after expansion too, and never ends
    // inside a surrogate pair.
    Require(config.path.size() <= 259, "path longer than 259 units");
    Require(config.path.empty() || (config.path.back() & 0xFC00) != 0xD800, "path ends with a lone high surrogate");
    // Reading again over the result changes nothing.
    cxlog::Config again = config;
    cxlog::ParseConfig(bytes, codeset, again);
    Require(again.path == config.path && again.level == config.level && again.periodType == config.periodType &&
                again.funcName == config.funcName && again.moduleLogName == config.moduleLogName,
            "a second reading differs");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > cxlog::kMaxConfigBytes)
        return 0; // larger files are never read
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ParseIn(bytes, "UTF-8");
    ParseIn(bytes, "GB18030");
    return 0;
}
