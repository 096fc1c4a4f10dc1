#include "support/FilePathParts.h"

#include "support/TextConvert.h"

#include <filesystem>
#include <utility>
#include <vector>

namespace {

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool HasDriveLetter(const std::u16string& path)
{
    return path.size() >= 2 && path[1] == u':' && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

size_t DriveLength(const std::u16string& path) { return HasDriveLetter(path) ? 2 : 0; }

bool IsAbsolute(const std::u16string& path) { return HasDriveLetter(path) || (!path.empty() && IsSeparator(path[0])); }

// Drops "." folders and resolves ".." folders (never above the root); each kept folder keeps
// the separator that followed it.
std::u16string ResolveDots(const std::u16string& path)
{
    const size_t driveLength = DriveLength(path);
    size_t rootEnd = driveLength;
    while (rootEnd < path.size() && IsSeparator(path[rootEnd]))
        ++rootEnd;
    struct Piece {
        std::u16string name;
        std::u16string separators;
    };
    std::vector<Piece> pieces;
    size_t pos = rootEnd;
    while (pos < path.size()) {
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        size_t next = end;
        while (next < path.size() && IsSeparator(path[next]))
            ++next;
        Piece piece{path.substr(pos, end - pos), path.substr(end, next - end)};
        if (piece.name == u"..") {
            if (!pieces.empty())
                pieces.pop_back();
        } else if (piece.name != u".") {
            pieces.push_back(std::move(piece));
        }
        pos = next;
    }
    std::u16string result = path.substr(0, rootEnd);
    for (const Piece& piece : pieces)
        result += piece.name + piece.separators;
    return result;
}

std::u16string AsciiLower(std::u16string text)
{
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

} // namespace

FilePathParts::FilePathParts(const std::u16string& path)
{
    if (IsAbsolute(path) || path.empty()) {
        m_fullPath = path;
    } else {
        std::error_code error;
        std::u16string current = Utf8ToWide(std::filesystem::current_path(error).string());
        if (current.empty() || current.back() != u'/')
            current += u'/';
        m_fullPath = current + path;
    }
    m_fullPath = ResolveDots(m_fullPath);
}

void FilePathParts::Split() const
{
    if (m_split)
        return;
    const size_t driveLength = DriveLength(m_fullPath);
    m_drive = m_fullPath.substr(0, driveLength);
    size_t nameStart = driveLength;
    for (size_t i = driveLength; i < m_fullPath.size(); ++i) {
        if (IsSeparator(m_fullPath[i]))
            nameStart = i + 1;
    }
    m_folder = m_fullPath.substr(driveLength, nameStart - driveLength);
    const std::u16string name = m_fullPath.substr(nameStart);
    const size_t dot = name.rfind(u'.');
    m_baseName = dot == std::u16string::npos ? name : name.substr(0, dot);
    m_extension = dot == std::u16string::npos ? std::u16string() : name.substr(dot);
    m_split = true;
}

std::u16string FilePathParts::Drive() const
{
    Split();
    return m_drive;
}

std::u16string FilePathParts::Folder() const
{
    Split();
    return m_folder;
}

std::u16string FilePathParts::BaseName() const
{
    Split();
    return m_baseName;
}

std::u16string FilePathParts::Extension() const
{
    Split();
    return AsciiLower(m_extension);
}

std::u16string FilePathParts::FileName() const
{
    Split();
    return m_baseName + m_extension;
}

std::u16string FilePathParts::FolderPath() const
{
    Split();
    return m_drive + m_folder;
}

std::u16string FilePathParts::LastFolderName() const
{
    Split();
    std::u16string folder = m_folder;
    if (!folder.empty() && IsSeparator(folder.back()))
        folder.pop_back();
    size_t start = folder.size();
    while (start > 0 && !IsSeparator(folder[start - 1]))
        --start;
    return folder.substr(start);
}

bool IsFullTextFile(const FilePathParts& parts)
{
    const std::u16string extension = parts.Extension();
    for (const char16_t* mark : {u"pdf", u"rul", u"mop", u"zif", u"qe"}) {
        if (extension.find(mark) != std::u16string::npos)
            return true;
    }
    return false;
}
