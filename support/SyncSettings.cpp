#include "support/SyncSettings.h"

#include "support/SyncPathOverride.h"

#include "support/IniFile.h"
#include "support/PlatformFolders.h"
#include "support/TextConvert.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

namespace {

constexpr char16_t kSubkey[] = u"SyncroSet";
constexpr char16_t kSyncPath[] = u"SyncPath";
constexpr char16_t kSyncroName[] = u"SyncroName";

struct AppNames {
    std::u16string company;
    std::u16string product;
};

std::mutex g_mutex; // guards g_names and g_mountSource
AppNames g_names;
std::function<MountTable()> g_mountSource;

AppNames CurrentNames()
{
    std::lock_guard lock(g_mutex);
    if (g_names.company.empty())
        g_names.company = u"Orvane";
    if (g_names.product.empty())
        g_names.product = u"Vexa Arbora";
    return g_names;
}

MountTable CurrentMountTable()
{
    std::function<MountTable()> source;
    {
        std::lock_guard lock(g_mutex);
        source = g_mountSource;
    }
    return source ? source() : ReadMountTable();
}

// "a" + "b" → "a/b", without doubling a separator that `folder` already ends with.
std::u16string JoinPath(std::u16string folder, const std::u16string& name)
{
    if (folder.empty() || folder.back() != u'/')
        folder += u'/';
    return folder + name;
}

// /proc/mounts writes blanks, tabs, line feeds and backslashes in paths as octal escapes.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const auto octal = [](char c) { return c >= '0' && c <= '7'; };
            if (octal(field[i + 1]) && octal(field[i + 2]) && octal(field[i + 3])) {
                out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// A fixed drive: a block device that is not a loop device and not removable (USB sticks,
// optical discs), mounted read-write on a folder.
bool IsFixedBlockDevice(const std::string& device, const std::string& options, const std::string& mountPoint)
{
    struct stat info {};
    if (device.rfind("/dev/", 0) != 0 || ::stat(device.c_str(), &info) != 0 || !S_ISBLK(info.st_mode))
        return false;
    std::stringstream optionList(options);
    for (std::string option; std::getline(optionList, option, ',');) {
        if (option == "ro")
            return false;
    }
    struct stat target {};
    if (::stat(mountPoint.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
        return false; // container runtimes bind single files such as /etc/hosts
    const std::string sys = "/sys/dev/block/" + std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
    std::error_code error;
    const std::string name = std::filesystem::canonical(sys, error).filename().string();
    if (name.rfind("loop", 0) == 0)
        return false;
    // A partition's "removable" flag sits on its parent disk.
    for (const std::string& flag : {sys + "/removable", sys + "/../removable"}) {
        std::ifstream in(flag);
        int removable = 0;
        if (in >> removable)
            return removable == 0;
    }
    return true;
}

} // namespace

void SetAppKeyNames(const std::u16string& company, const std::u16string& product)
{
    std::lock_guard lock(g_mutex);
    g_names.company = company;
    g_names.product = product;
}

std::u16string AppRegistryFilePath()
{
    const AppNames names = CurrentNames();
    return ConfigFolder() + u"/" + names.company + u"/" + names.product + u"/registry.ini";
}

std::u16string SyncroSetFilePath()
{
    return CommonDocumentsFolder() + u"/Orvane/Vexa Arbora/SyncroSet.ini";
}

std::u16string GetSyncroSetValue(const std::u16string& valueName)
{
    if (valueName.empty())
        return std::u16string();
    return ReadIniValue(AppRegistryFilePath(), kSubkey, valueName);
}

MountTable ReadMountTable()
{
    MountTable table;
    struct stat root {};
    if (::stat("/", &root) != 0)
        return table;
    std::ifstream mounts("/proc/mounts");
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string device, mountPoint, type, options;
        if (!(fields >> device >> mountPoint >> type >> options))
            continue;
        device = UnescapeMountField(device);
        mountPoint = UnescapeMountField(mountPoint);
        struct stat info {};
        if (::stat(mountPoint.c_str(), &info) != 0)
            continue;
        // The file system that holds "/" is the system drive, wherever else it is mounted too.
        if (info.st_dev == root.st_dev) {
            if (table.systemMount.empty() || mountPoint == "/")
                table.systemMount = Utf8ToWide(mountPoint);
            continue;
        }
        MountEntry entry;
        entry.mountPoint = Utf8ToWide(mountPoint);
        entry.isLocalBlockDevice = IsFixedBlockDevice(device, options, mountPoint);
        if (struct statvfs space {}; entry.isLocalBlockDevice && ::statvfs(mountPoint.c_str(), &space) == 0)
            entry.freeBytes = static_cast<uint64_t>(space.f_bavail) * space.f_frsize;
        table.entries.push_back(std::move(entry));
    }
    return table;
}

void SetMountTableSource(std::function<MountTable()> source)
{
    std::lock_guard lock(g_mutex);
    g_mountSource = std::move(source);
}

bool ChooseDataDrive(const MountTable& mounts, std::u16string& drive)
{
    drive.clear();
    uint64_t best = 0;
    for (const MountEntry& entry : mounts.entries) {
        if (entry.mountPoint == mounts.systemMount || !entry.isLocalBlockDevice)
            continue;
        if (entry.freeBytes > best) {
            best = entry.freeBytes;
            drive = entry.mountPoint;
        }
    }
    return !drive.empty();
}

bool ChooseDataDrive(std::u16string& drive) { return ChooseDataDrive(CurrentMountTable(), drive); }

std::u16string GetSyncPath()
{
    // A folder the user named for this run wins over every setting and is never written back.
    if (std::u16string chosen = SyncPathOverride(); !chosen.empty())
        return chosen;
    const std::u16string settingsFile = SyncroSetFilePath();
    std::u16string path = ReadIniValue(settingsFile, kSubkey, kSyncPath);
    if (path.empty()) {
        path = GetSyncroSetValue(kSyncPath);
        if (!path.empty()) {
            WriteIniValue(settingsFile, kSubkey, kSyncPath, path);
        } else {
            std::u16string base;
            if (!ChooseDataDrive(base))
                base = PersonalDocumentsFolder();
            path = JoinPath(base, CurrentNames().product) + u"/";
        }
    }
    if (path.back() != u'/')
        path += u'/';
    return path;
}

std::u16string GetSyncroName()
{
    std::u16string name = GetSyncroSetValue(kSyncroName);
    for (size_t i = 0; i < name.size(); ++i) {
        int code = static_cast<int>(name[i]) - static_cast<int>(i + 3);
        if (code < 0)
            code += 255;
        name[i] = static_cast<char16_t>(code);
    }
    return name;
}
