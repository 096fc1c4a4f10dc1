// Files of the import: a literature's attachment and the copies of the companion folder's
// web pages and note files into the user's folder under the sync folder.
#include "store/TavDB.h"

#include "library/OvDataMiddle.h"
#include "support/FilePathParts.h"
#include "support/Log.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path FsPath(const std::u16string& path)
{
    return fs::path(WideToUtf8(path));
}

bool IsRegularFile(const std::u16string& path)
{
    std::error_code error;
    return !path.empty() && fs::is_regular_file(FsPath(path), error);
}

std::u16string WithoutTrailingSeparators(std::u16string path)
{
    while (path.size() > 1 && (path.back() == u'/' || path.back() == u'\\'))
        path.pop_back();
    return path;
}

std::u16string ErrorText(const std::error_code& error)
{
    char code[32];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(error.value()));
    const std::string message = error.message();
    return u"错误码 = " + ToWide(code) + (message.empty() ? std::u16string() : u"\n\n" + Utf8ToWide(message));
}

// Copies the tree below `source` into `target`, which exists. Symbolic links are never followed
// (they could lead out of the companion folder, or round in a loop): each is left out and
// logged. Existing files are replaced. Returns the first error met; the copy goes on past it.
std::error_code CopyTree(const fs::path& source, const fs::path& target)
{
    std::error_code first;
    const auto keep = [&first](const std::error_code& error) {
        if (error && !first)
            first = error;
    };
    std::error_code error;
    fs::recursive_directory_iterator it(source, fs::directory_options::skip_permission_denied, error);
    keep(error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        const fs::path from = it->path();
        const fs::path to = target / from.lexically_relative(source);
        const fs::file_status status = it->symlink_status(error);
        if (error) {
            keep(error);
            error.clear();
            continue;
        }
        if (fs::is_symlink(status)) {
            CxLog::Instance().Log(u"TavDB", u"CTavDB::CopyFolder", __LINE__, 1, u"%s: symbolic link not copied",
                                  Utf8ToWide(from.string()));
            continue;
        }
        if (fs::is_directory(status)) {
            fs::create_directories(to, error);
            keep(error);
            error.clear();
            continue;
        }
        if (!fs::is_regular_file(status))
            continue;
        // A link in the target's place is replaced, not written through.
        if (fs::is_symlink(fs::symlink_status(to, error)))
            fs::remove(to, error);
        error.clear();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
        keep(error);
        error.clear();
    }
    keep(error);
    return first;
}

} // namespace

int CTavDB::ImportAttachmentFile(std::u16string& storedPath, const std::u16string& unitPath, const std::u16string& filePath,
                                 const std::u16string& user, const std::u16string& tavGuid)
{
    if (filePath.empty()) {
        storedPath.clear();
        return Library().StoreAttachment(storedPath, std::u16string(), user, tavGuid);
    }
    // Web page files arrive with the web pages folder.
    if (filePath.find(u"webpage") != std::u16string::npos) {
        storedPath = filePath;
        return 0;
    }
    if (IsRegularFile(filePath)) {
        storedPath = filePath;
        return Library().StoreAttachment(storedPath, filePath, user, tavGuid);
    }
    const FilePathParts unit(unitPath);
    const std::u16string candidate =
        unit.FolderPath() + unit.BaseName() + u"_contents/" + FilePathParts(filePath).FileName();
    if (!SameTextIgnoringCase(candidate, filePath) && IsRegularFile(candidate)) {
        storedPath = candidate;
        return Library().StoreAttachment(storedPath, candidate, user, tavGuid);
    }
    storedPath = filePath;
    return 0;
}

int CTavDB::CopyFolder(const std::u16string& source, const std::u16string& target, std::u16string& errorText)
{
    errorText.clear();
    const std::u16string from = WithoutTrailingSeparators(source);
    const std::u16string into = WithoutTrailingSeparators(target);
    std::error_code error;
    for (const std::u16string& path : {from, into}) {
        if (path.empty() || !fs::exists(fs::symlink_status(FsPath(path), error))) {
            CxLog::Instance().Log(u"TavDB", u"CTavDB::CopyFolder", __LINE__, 0, u"%s不存在", path);
            return 0;
        }
    }
    // The companion folder's own subfolder must not be a link either: its files could lie anywhere.
    if (!fs::is_directory(fs::symlink_status(FsPath(from), error))) {
        LogWarning(u"CTavDB::CopyFolder", __LINE__, from + u": no folder, not copied");
        return 0;
    }
    const fs::path landing = FsPath(into) / FsPath(from).filename();
    fs::create_directories(landing, error);
    if (!error)
        error = CopyTree(FsPath(from), landing);
    if (error) {
        errorText = ErrorText(error);
        return 0;
    }
    return 1;
}

void CTavDB::CopyCompanionSubfolder(const std::u16string& name)
{
    const std::u16string target = GetSyncPath() + OvSysUser::Instance().GetUser() + u"/";
    std::error_code error;
    if (!fs::exists(FsPath(target), error))
        fs::create_directories(FsPath(target), error);
    std::u16string errorText;
    CopyFolder(CompanionSubfolder(name), target, errorText);
}
