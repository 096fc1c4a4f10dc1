// The log.cfg reader, in UTF-8 and in a double-byte code page: settings stay within their limits,
// and reading again over the result changes nothing.
#include "fuzz/FuzzCheck.h"
#include "support/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > cxlog::kMaxConfigBytes)
        return 0; // larger files are never read
    for (const char* codeset : {"UTF-8", "GB18030"}) {
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        cxlog::Config config;
        cxlog::ParseConfig(bytes, codeset, config);
        REQUIRE(config.path.size() <= 259);
        REQUIRE(config.path.empty() || (config.path.back() & 0xFC00) != 0xD800);
        cxlog::Config again = config;
        cxlog::ParseConfig(bytes, codeset, again);
        REQUIRE(again.path == config.path && again.level == config.level && again.periodType == config.periodType &&
                again.funcName == config.funcName && again.moduleLogName == config.moduleLogName);
    }
    return 0;
}
