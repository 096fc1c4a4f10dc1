#include "support/ContainedPath.h"

#include "support/Guid.h"
#include "support/TextConvert.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

bool IsRealFolder(const fs::path& folder)
{
    std::error_code error;
    return fs::is_directory(fs::symlink_status(folder, error));
}

bool LiesInside(const fs::path& folder, const fs::path& path)
{
    std::error_code error;
    const fs::path outer = fs::canonical(folder, error);
    if (error)
        return false;
    const fs::path inner = fs::canonical(path, error);
    if (error)
        return false;
    const fs::path relative = inner.lexically_relative(outer);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

std::error_code CopyFileThroughTemporary(const fs::path& source, const fs::path& target)
{
    std::error_code error;
    const fs::path temporary = target.parent_path() / fs::path(WideToUtf8(u".partial-" + NewGuidText()));
    fs::copy_file(source, temporary, fs::copy_options::none, error);
    if (!error)
        fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return error;
}

bool SameFileBytes(const fs::path& first, const fs::path& second, std::string& problem)
{
    std::ifstream a(first, std::ios::binary);
    std::ifstream b(second, std::ios::binary);
    if (!a || !b) {
        problem = "cannot open " + (!a ? first : second).string();
        return false;
    }
    std::vector<char> bufferA(1 << 20);
    std::vector<char> bufferB(1 << 20);
    uint64_t offset = 0;
    for (;;) {
        a.read(bufferA.data(), static_cast<std::streamsize>(bufferA.size()));
        b.read(bufferB.data(), static_cast<std::streamsize>(bufferB.size()));
        const std::streamsize readA = a.gcount();
        const std::streamsize readB = b.gcount();
        if (a.bad() || b.bad()) {
            problem = "cannot read " + (a.bad() ? first : second).string();
            return false;
        }
        const auto common = static_cast<size_t>(std::min(readA, readB));
        const auto differ = std::mismatch(bufferA.begin(), bufferA.begin() + static_cast<std::ptrdiff_t>(common), bufferB.begin());
        if (differ.first != bufferA.begin() + static_cast<std::ptrdiff_t>(common) || readA != readB) {
            problem = "the files differ at byte " +
                      std::to_string(offset + static_cast<uint64_t>(differ.first - bufferA.begin()));
            return false;
        }
        if (readA == 0)
            return true;
        offset += static_cast<uint64_t>(readA);
    }
}
