#include "support/Guid.h"

#include <openssl/rand.h>

#include <cstdint>
#include <cstdio>

std::u16string NewGuidText()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return std::u16string();
    const uint32_t data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
    const unsigned data2 = (unsigned{bytes[4]} << 8) | bytes[5];
    const unsigned data3 = (((unsigned{bytes[6]} << 8) | bytes[7]) & 0x0FFFu) | 0x4000u; // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);                     // RFC 4122 variant
    char text[33];
    std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(data1),
                  data2, data3, bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return std::u16string(text, text + 32);
}
