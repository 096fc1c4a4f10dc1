#pragma once
// The parts of a file path. Paths stored inside learning units may be Windows paths
// ("D:\u\a.pdf"): both '\' and '/' separate, and a drive-letter path counts as absolute.
#include <string>

class FilePathParts {
public:
    // `path` is made absolute against the current folder unless it already is (starts with a
    // separator or a drive letter and colon); "." and ".." folders are resolved.
    explicit FilePathParts(const std::u16string& path);

    std::u16string FullPath() const { return m_fullPath; }

    // The parts are worked out on the first call of any getter. An object is meant for one
    // thread at a time.
    std::u16string Drive() const;                 // "D:", or empty
    std::u16string Folder() const;                // with its final separator, as stored
    std::u16string BaseName() const;              // file name without extension
    std::u16string Extension() const;             // from the last dot on, in lower case
    std::u16string FileName() const;              // base name + extension as stored
    std::u16string FolderPath() const;            // drive + folder
    std::u16string LastFolderName() const;        // empty for a file directly in a root

private:
    void Split() const;

    std::u16string m_fullPath;
    mutable bool m_split = false;
    mutable std::u16string m_drive;
    mutable std::u16string m_folder;
    mutable std::u16string m_baseName;
    mutable std::u16string m_extension; // as stored
};

// True when the extension names a full-text document: it contains "pdf", "rul", "mop", "zif"
// or "qe".
bool IsFullTextFile(const FilePathParts& parts);
