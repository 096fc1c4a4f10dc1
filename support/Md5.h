#pragma once
// MD5 digests (RFC 1321) as 32 upper-case hexadecimal digits.
#include <cstddef>
#include <string>

class Md5Provider {
public:
    // The digest of `length` bytes at `data`; empty text when the digest cannot be computed
    // (or `data` is null with a nonzero length).
    std::u16string HashBytes(const void* data, size_t length) const;

    // The digest of the text's UTF-8 bytes (without a terminator) into `digest`. False, with
    // `digest` untouched, for empty text or when the digest cannot be computed.
    bool HashText(const std::u16string& text, std::u16string& digest) const;
};
