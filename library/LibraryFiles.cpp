#include "library/LibraryFiles.h"

#include "library/LibraryDatabase.h"
#include "library/LibraryErrors.h"
#include "support/ContainedPath.h"
#include "support/TextConvert.h"

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
    // Files of different sizes differ without a read.
    const auto firstSize = fs::file_size(first, error);
    if (error)
        return false;
    const auto secondSize = fs::file_size(second, error);
    if (error || firstSize != secondSize)
        return false;
    std::string problem;
    return SameFileBytes(first, second, problem);
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
