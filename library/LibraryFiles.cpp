#include "library/LibraryFiles.h"

#include "library/LibraryDatabase.h"
#include "library/LibraryErrors.h"
#include "support/ContainedPath.h"
#include "support/TextConvert.h"

#include <array>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kMaxNameVariants = 10000;

std::u16string NameVariant(const std::u16string& name, int number)
{
    if (number < 2)
        return name;
    const size_t dot = name.find_last_of(u'.');
    const bool hasExtension = dot != std::u16string::npos && dot > 0;
    const std::u16string title = hasExtension ? name.substr(0, dot) : name;
    const std::u16string extension = hasExtension ? name.substr(dot) : std::u16string();
    return title + u" (" + ToWide(std::to_string(number)) + u")" + extension;
}

} // namespace

bool SameFileContent(const fs::path& first, const fs::path& second)
{
    std::error_code error;
    if (fs::equivalent(first, second, error))
        return true;
    const auto firstSize = fs::file_size(first, error);
    if (error)
        return false;
    const auto secondSize = fs::file_size(second, error);
    if (error || firstSize != secondSize)
        return false;
    std::ifstream a(first, std::ios::binary);
    std::ifstream b(second, std::ios::binary);
    if (!a || !b)
        return false;
    std::array<char, 65536> bufferA {};
    std::array<char, 65536> bufferB {};
    while (a && b) {
        a.read(bufferA.data(), bufferA.size());
        b.read(bufferB.data(), bufferB.size());
        if (a.gcount() != b.gcount())
            return false;
        if (!std::equal(bufferA.begin(), bufferA.begin() + a.gcount(), bufferB.begin()))
            return false;
    }
    return a.eof() && b.eof();
}

int32_t CopyAttachmentInto(const fs::path& source, const fs::path& folder, fs::path& stored, bool& created)
{
    created = false;
    const std::u16string name = FromFsPath(source.filename());
    if (name.empty() || name == u"." || name == u"..")
        return kLibraryBadArgument;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return kLibraryCopyFailed;
    for (int number = 1; number <= kMaxNameVariants; ++number) {
        const fs::path candidate = folder / ToFsPath(NameVariant(name, number));
        const bool taken = fs::exists(fs::symlink_status(candidate, error));
        if (taken) {
            if (fs::is_regular_file(candidate, error) && SameFileContent(source, candidate)) {
                stored = candidate;
                return kLibraryOk;
            }
            continue;
        }
        // Never a half-written attachment under its real name.
        if (CopyFileThroughTemporary(source, candidate))
            return kLibraryCopyFailed;
        stored = candidate;
        created = true;
        return kLibraryOk;
    }
    return kLibraryCopyFailed;
}
