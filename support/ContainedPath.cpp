#include "support/ContainedPath.h"

#include "support/Guid.h"
#include "support/TextConvert.h"

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
