#include "support/Guid.h"

#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace {

std::u16string GuidText(unsigned char (&bytes)[16])
{
    const uint32_t data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
    const unsigned data2 = (unsigned{bytes[4]} << 8) | bytes[5];
    const unsigned data3 = (unsigned{bytes[6]} << 8) | bytes[7];
    char text[33];
    std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(data1),
                  data2, data3, bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return std::u16string(text, text + 32);
}

} // namespace

std::u16string NewGuidText()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return std::u16string();
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return GuidText(bytes);
}

std::u16string NewOrderedGuidText()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return std::u16string();
    static std::mutex mutex;
    static uint64_t lastMilliseconds = 0;
    static unsigned counter = 0;
    uint64_t milliseconds = 0;
    {
        const std::lock_guard lock(mutex);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        milliseconds = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        // A clock set back, or a millisecond's counter used up, continues from the last time.
        if (milliseconds > lastMilliseconds) {
            counter = 0;
        } else if (++counter > 0x0FFFu) {
            counter = 0;
            ++lastMilliseconds;
        }
        milliseconds = lastMilliseconds = std::max(milliseconds, lastMilliseconds);
    }
    for (int i = 0; i < 6; ++i)
        bytes[i] = static_cast<unsigned char>(milliseconds >> (40 - 8 * i));
    bytes[6] = static_cast<unsigned char>(0x70 | (counter >> 8)); // version 7
    bytes[7] = static_cast<unsigned char>(counter);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return GuidText(bytes);
}
