#pragma once
// The desktop application's settings that this tool reads: the sync folder and the signed-in
// account ("sync user name").
//
// Where they live on this platform:
//  - the application's registry key is the INI file
//    $XDG_CONFIG_HOME/<company>/<product>/registry.ini, section [SyncroSet], values SyncPath and
//    SyncroName (the latter scrambled, as the desktop application writes it);
//  - the settings file is $XDG_DATA_HOME/Orvane/Vexa Arbora/SyncroSet.ini, section
//    [SyncroSet], key SyncPath;
//  - "drives" are the mount points of local block-device file systems, without the one that
//    holds "/".
// Paths use '/'; a sync folder always ends with '/'.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Sets the company and product names of the application key ("Orvane", "Vexa Arbora").
// A name still empty at first use takes that default.
void SetAppKeyNames(const std::u16string& company, const std::u16string& product);

// The file that stands in for the application's registry key; its folder is not created here.
std::u16string AppRegistryFilePath();
// The settings file SyncroSet.ini in the all-users documents folder.
std::u16string SyncroSetFilePath();

// A value of the "SyncroSet" subkey; empty on any failure.
std::u16string GetSyncroSetValue(const std::u16string& valueName);

// One mounted file system, as the drive choice sees it.
struct MountEntry {
    std::u16string mountPoint;
    bool isLocalBlockDevice = false; // a fixed drive: a local, writable block-device file system
    uint64_t freeBytes = 0;          // free bytes available to this user
};

// The mounted file systems in listed order, and the mount point of the one that holds "/"
// (the "Windows drive").
struct MountTable {
    std::vector<MountEntry> entries;
    std::u16string systemMount;
};

// The machine's table, from /proc/mounts and statvfs.
MountTable ReadMountTable();

// Replaces the source of the mount table (for tests); an empty function restores
// ReadMountTable.
void SetMountTableSource(std::function<MountTable()> source);

// Picks the local block-device file system with the most free space other than the system
// one; among equal ones the first listed wins, and one without free space is never chosen.
// False with empty `drive` when none qualifies.
bool ChooseDataDrive(std::u16string& drive);
bool ChooseDataDrive(const MountTable& mounts, std::u16string& drive);

// The sync folder, ending with '/'; never empty. Order: the settings file; the registry (then
// also written into the settings file); <chosen drive>/<product>/; <documents>/<product>/.
std::u16string GetSyncPath();

// The sync user name, unscrambled; empty when not set.
std::u16string GetSyncroName();
