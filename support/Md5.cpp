#include "support/Md5.h"

#include "support/TextConvert.h"

#include <openssl/evp.h>

#include <utility>

std::u16string Md5Provider::HashBytes(const void* data, size_t length) const
{
    static const unsigned char empty = 0;
    if (data == nullptr) {
        if (length != 0)
            return std::u16string();
        data = &empty;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(data, length, digest, &digestLength, EVP_md5(), nullptr) != 1 || digestLength != 16)
        return std::u16string();
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(32);
    for (unsigned int i = 0; i < digestLength; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

bool Md5Provider::HashText(const std::u16string& text, std::u16string& digest) const
{
    if (text.empty())
        return false;
    const std::string bytes = WideToUtf8(text);
    std::u16string result = HashBytes(bytes.data(), bytes.size());
    if (result.empty())
        return false;
    digest = std::move(result);
    return true;
}
