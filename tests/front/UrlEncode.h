#pragma once
// How the desktop application puts text on the command line: UTF-8 bytes, every byte other
// than a letter, digit or one of "-_.\\:/" as "%" and two upper-case digits, a blank as "+".
#include <string>

inline std::string UrlEncode(const std::string& text)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') {
            out += '+';
        } else if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                   std::string("-_.\\:/").find(c) != std::string::npos) {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0xF];
        }
    }
    return out;
}
