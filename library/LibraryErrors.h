#pragma once
// Result codes of the personal library service and the texts shown for them.
#include <cstdint>
#include <string>

// 0 is success; every other code is a failure with a text of its own. The codes stay clear of
// -1 and of the store's last-error values, so that a caller can hand them on unchanged.
enum LibraryResult : int32_t {
    kLibraryOk = 0,
    kLibraryNotInitialized = 0x4C420001, // no Initialize before the call
    kLibraryNoUser,                      // no account signed in and none chosen
    kLibraryBadUserName,                 // the account's name cannot name a folder
    kLibraryCannotOpen,                  // the database cannot be created or opened
    kLibraryBadArgument,                 // a missing record or a malformed GUID
    kLibraryUnitNotFound,                // no entry with that TavGuid
    kLibraryFolderNotFound,              // no folder with that GUID in the entry
    kLibraryLiteratureNotFound,          // no literature with that GUID in the entry
    kLibraryNoteNotFound,                // no note with that PosID in the entry
    kLibraryNoteExists,                  // the entry already holds a note with that PosID
    kLibraryStorageError,                // a statement failed; the operation was rolled back
    kLibrarySourceMissing,               // the attachment's source file does not exist
    kLibraryCopyFailed,                  // the attachment could not be copied
    kLibraryRemoveFailed,                // the entry's attachment files could not be removed
    kLibraryNoGuid,                      // no new GUID could be made
    kLibraryNoLibrary,                   // reading: the account has no library yet
    kLibraryAmbiguousEntry,              // reading: a GUID prefix names more than one entry
    kLibraryEntryIncomplete,             // the entry's import has not completed
    kLibraryResultEnd                    // one past the last code
};

// The text for a code; codes this service never returns get a text that names the number.
std::u16string LibraryErrorText(int32_t code);
