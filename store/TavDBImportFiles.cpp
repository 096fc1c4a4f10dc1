// Files of the import: a literature's attachment and the copies of the companion folder's
// web pages and note files into the user's folder under the sync folder.
#include "store/TavDB.h"

#include "library/LibraryErrors.h"
#include "library/OvDataMiddle.h"
#include "support/ContainedPath.h"
#include "support/FilePathParts.h"
#include "support/Log.h"
#include "support/SyncSettings.h"
#include "support/TextConvert.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
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

// Copies the tree below `source` into `target`. Symbolic links are never followed (they could
// lead out of the companion folder, or round in a loop): each is left out and logged. Existing
// files are replaced through a temporary copy. Calls `failed` for each file (or folder that
// could not be read) and goes on past it.
void CopyTree(const fs::path& source, const fs::path& target,
              const std::function<void(const fs::path&, const std::error_code&)>& failed)
{
    std::error_code error;
    fs::recursive_directory_iterator it(source, fs::directory_options::none, error);
    if (error)
        failed(source, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        const fs::path from = it->path();
        const fs::path to = target / from.lexically_relative(source);
        const fs::file_status status = it->symlink_status(error);
        if (error) {
            failed(from, error);
            error.clear();
            continue;
        }
        if (fs::is_symlink(status)) {
            CxLog::Instance().Log(u"TavDB", u"CTavDB::CopyFolder", __LINE__, 1, u"%s: symbolic link not copied",
                                  Utf8ToWide(from.string()));
            continue;
        }
        if (fs::is_directory(status)) {
            // A folder that cannot be made shows in the files that then cannot be written into it.
            fs::create_directories(to, error);
            error.clear();
            continue;
        }
        if (!fs::is_regular_file(status))
            continue;
        if (const std::error_code copied = CopyFileThroughTemporary(from, to))
            failed(from, copied);
    }
    if (error)
        failed(source, error);
}

// `path` relative to `folder` ("webpage/p/index.html") when it lies inside it as written (a
// relative path counts from the folder); empty otherwise. Both '/' and '\\' separate.
std::u16string PathInsideFolder(const std::u16string& folder, const std::u16string& path)
{
    const auto slashed = [](std::u16string text) {
        std::replace(text.begin(), text.end(), u'\\', u'/');
        return text;
    };
    const std::u16string inner = slashed(path);
    const bool absolute = inner.starts_with(u'/') || (inner.size() >= 2 && inner[1] == u':');
    const std::u16string outer = slashed(FilePathParts(folder).FullPath()) + u"/";
    const std::u16string full = slashed(FilePathParts(absolute ? inner : outer + inner).FullPath());
    return full.starts_with(outer) ? full.substr(outer.size()) : std::u16string();
}

} // namespace

int CTavDB::ImportAttachmentFile(std::u16string& storedPath, const std::u16string& unitPath, const std::u16string& filePath,
                                 const std::u16string& user, const std::u16string& tavGuid)
{
    if (filePath.empty()) {
        storedPath.clear();
        return Library().StoreAttachment(storedPath, std::u16string(), user, tavGuid);
    }
    const std::u16string contents = CompanionFolder(unitPath);
    // Web page files arrive with the web pages folder. Only the part of the path inside the
    // companion folder tells: the folders above it are the user's to name.
    if (PathInsideFolder(contents, filePath).find(u"webpage") != std::u16string::npos) {
        storedPath = filePath;
        return 0;
    }
    std::u16string source = filePath;
    if (!IsRegularFile(source)) {
        source = contents + u"/" + FilePathParts(filePath).FileName();
        if (SameTextIgnoringCase(source, filePath) || !IsRegularFile(source)) {
            storedPath = filePath;
            return 0;
        }
    }
    // A unit may come from someone else: it brings in its own files, never any other file the
    // user can read (which would then travel with the synced library).
    if (!IsRealFolder(FsPath(contents)) || !LiesInside(FsPath(contents), FsPath(source))) {
        storedPath = filePath;
        LogWarning(u"CTavDB::ImportAttachmentFile", __LINE__,
                   source + u": not stored: the attachment lies outside the companion folder " + contents);
        return 0;
    }
    storedPath = source;
    const int32_t result = Library().StoreAttachment(storedPath, source, user, tavGuid);
    if (result != 0 && result != kLibrarySourceMissing)
        NoteUnwrittenFile(u"CTavDB::ImportAttachmentFile", source, Library().GetErrorText(result));
    return result;
}

int CTavDB::CopyFolder(const std::u16string& source, const std::u16string& target, std::u16string& errorText)
{
    errorText.clear();
    const std::u16string from = WithoutTrailingSeparators(source);
    const std::u16string into = WithoutTrailingSeparators(target);
    std::error_code error;
    const auto exists = [&error](const std::u16string& path) {
        return !path.empty() && fs::exists(fs::symlink_status(FsPath(path), error));
    };
    const auto logMissing = [](const std::u16string& path) {
        CxLog::Instance().Log(u"TavDB", u"CTavDB::CopyFolder", __LINE__, 0, u"%s不存在", path);
    };
    const bool sourceExists = exists(from);
    if (!sourceExists)
        logMissing(from);
    if (!exists(into))
        logMissing(into);
    // Nothing to copy is no failure.
    if (!sourceExists)
        return 0;
    // The companion folder's own subfolder must not be a link either: its files could lie anywhere.
    if (!IsRealFolder(FsPath(from))) {
        LogWarning(u"CTavDB::CopyFolder", __LINE__, from + u": no folder, not copied");
        return 0;
    }
    const fs::path landing = FsPath(into) / FsPath(from).filename();
    fs::create_directories(landing, error);
    std::error_code first;
    CopyTree(FsPath(from), landing, [&](const fs::path& file, const std::error_code& failure) {
        if (!first)
            first = failure;
        NoteUnwrittenFile(u"CTavDB::CopyFolder", Utf8ToWide(file.string()), Utf8ToWide(failure.message()));
    });
    if (first) {
        errorText = ErrorText(first);
        return 0;
    }
    return 1;
}

void CTavDB::NoteUnwrittenFile(const char16_t* function, const std::u16string& path, const std::u16string& reason)
{
    m_unwrittenFiles += 1;
    LogNote(u"TavDB", function, __LINE__, 3, path + u": could not be copied into the library: " + reason);
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
