#include "support/Guid.h"

#include <openssl/rand.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace {

// Raised in a forked child: random bytes its parent drew before the fork are not used again.
std::atomic<uint64_t> g_forks{0};

void CountFork() { g_forks.fetch_add(1, std::memory_order_relaxed); }

// Random bytes for GUIDs, drawn from OpenSSL a block at a time: one call per GUID cost more
// than all the rest of making it (an upgrade makes one per row). Each thread has its block; a
// forked child draws a new one, so that it never repeats its parent's GUIDs.
bool RandomBytes(unsigned char* out, size_t size)
{
    static std::once_flag registered;
    std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, CountFork); });
    struct SBlock {
        unsigned char bytes[4096];
        size_t used = sizeof bytes;
        uint64_t forks = 0;
    };
    thread_local SBlock block;
    const uint64_t forks = g_forks.load(std::memory_order_relaxed);
    if (block.forks != forks || block.used + size > sizeof block.bytes) {
        if (RAND_bytes(block.bytes, sizeof block.bytes) != 1) {
            block.used = sizeof block.bytes;
            return false;
        }
        block.used = 0;
        block.forks = forks;
    }
    std::memcpy(out, block.bytes + block.used, size);
    block.used += size;
    return true;
}

// The 16 bytes in order as upper-case hex: the first 32-bit field, the two 16-bit fields (all
// big-endian) and the eight bytes.
std::u16string GuidText(const unsigned char (&bytes)[16])
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text(32, u'0');
    for (size_t i = 0; i < 16; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace

std::u16string NewGuidText()
{
    unsigned char bytes[16];
    if (!RandomBytes(bytes, sizeof bytes))
        return std::u16string();
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return GuidText(bytes);
}

std::u16string NewOrderedGuidText()
{
    unsigned char bytes[16];
    if (!RandomBytes(bytes, sizeof bytes))
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
