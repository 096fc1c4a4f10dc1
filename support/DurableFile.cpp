#include "support/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

bool SyncPath(const std::string& path, bool folder)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool SyncParentFolder(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return SyncPath(folder.empty() ? std::string(".") : folder.string(), true);
}
