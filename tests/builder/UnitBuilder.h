#pragma once
// Test kit: writes learning units at any layout version (1 to 16), plain or encrypted, and reads
// them back. Older layouts come from LayoutHistory.cpp, not from the store's upgrade code, so
// upgrade tests are not circular. Values a version has no column for are left out.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace testkit {

// The fixed key of every learning unit (12 bytes, no terminator).
inline constexpr char kUnitKey[] = "3A7F0C52E9B4";
inline constexpr int kUnitKeyLength = 12;
inline constexpr int kNewestVersion = 16;

struct TestkitError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using NoteItemSpec = std::pair<std::u16string, std::u16string>;  // id, text
using XmlAttributes = std::vector<std::pair<std::u16string, std::u16string>>;

// A literature's note package: <NoteSet><Note-Package ..><NoteItems ..><Item id="x" page="1">text</Item>..
std::u16string MakeNotePackage(const std::vector<NoteItemSpec>& items,
                               const XmlAttributes& packageAttributes = {{u"version", u"2.0"}, {u"creator", u"Vexa"}},
                               const XmlAttributes& itemsAttributes = {{u"count", u"auto"}});
// The items a note names: <Comments><Note-Package><NoteItems><Comment id="x"/>..
std::u16string MakeNoteComments(const std::vector<std::u16string>& commentIds);

// GUIDs (version 14+) left empty are made up when UnitSpec::autoGuids is set.
struct FolderSpec {
    int32_t id = 0;
    std::u16string name{};
    int32_t parentId = 0;  // 0: top level
    bool recycled = false;  // a Trash row (IsDoc 0) from version 7; Category.Recycled at 16
    std::u16string guid{};
};

struct LiteratureSpec {
    int32_t pkid = 0;
    std::u16string doi{}, title{}, author{}, source{};
    int32_t dataType = 5;
    std::u16string meeting{};  // versions 1 and 2 only
    std::u16string filePath{};
    std::u16string literGuid{};
    std::vector<int32_t> folderIds{};
    bool recycled = false;  // a Trash row (IsDoc 1) from version 7
    std::u16string lastReadPage{};
    int32_t locked = 0;
    std::u16string notePackage{};  // NoteSets, and LiteraRelate.MarkPos from version 12
    std::u16string remark{}, lastReadTime{};
    int32_t isRead = 0;
    bool readingStateRow = true;  // write the LiteraRelate row (version 12+)
};

struct NoteSpec {
    int32_t id = 0;
    std::u16string posId{};
    int32_t typeId = 1;
    std::u16string doi{}, title{}, content{}, comments{};
    std::u16string location{};  // version 6+
};

using LabelSpec = std::pair<std::u16string, std::u16string>;  // text, the note's PosID

struct WebPageSpec {
    int32_t pkid = 0;
    std::u16string title{}, author{}, link{}, filePath{};
    std::u16string createTime{}, lastReadTime{};
    std::u16string doi{};  // up to version 12
    std::vector<int32_t> folderIds{};
    bool recycled = false;
    std::u16string delTime{};
};

struct DownloadSpec {
    int32_t id = 0;
    int32_t pkid = 0;
    std::u16string title{}, link{}, path{};
    int32_t status = 0;
};

using CompanionFile = std::pair<std::filesystem::path, std::string>;  // relative path, content

struct UnitSpec {
    int32_t version = kNewestVersion;
    bool encrypted = false;
    std::u16string tavId{};  // empty writes NULL
    std::u16string owner{};  // VersionInfo.UserKey (version 12+); empty writes NULL
    bool defaultRows = true;
    bool autoGuids = true;
    std::vector<FolderSpec> folders{};
    std::vector<LiteratureSpec> literature{};
    std::vector<NoteSpec> notes{};
    std::vector<LabelSpec> labels{};
    std::vector<FolderSpec> webFolders{};  // id, name and parentId only
    std::vector<WebPageSpec> webPages{};
    std::vector<DownloadSpec> downloads{};
    std::vector<CompanionFile> companionFiles{};
};

// Writes the unit at `path` (replacing one that is there) and the companion files into
// ContentsFolder(path). Throws TestkitError.
void BuildUnit(const std::filesystem::path& path, const UnitSpec& spec);

// "<path up to its last dot>_contents".
std::filesystem::path ContentsFolder(const std::filesystem::path& unitPath);

// Nested folders (one recycled), literature in folders, at the root and in the recycle bin,
// attachments, notes naming items of their literature's package (apostrophes included), labels,
// two web pages (one recycled), downloads, and the owner "owner1".
UnitSpec SampleSpec(int32_t version);
// A large unit for benchmarks: folders nested two deep, each literature's package holding its notes' items.
UnitSpec BulkSpec(int32_t version, int literature, int notes, int folders, int webPages);

// What exists at which layout version, and the statements that create it.
std::vector<std::string> LayoutTables(int32_t version);
std::vector<std::string> LayoutColumns(int32_t version, const std::string& table);
std::vector<std::string> LayoutStatements(int32_t version);
// Version-16 columns that the table-creation pass and the steps add to an older unit (not those
// only a freshly made unit has, such as LiteraInfo.TableName).
std::vector<std::string> UpgradedColumns(const std::string& table);

enum class KeyMode { Auto, WithKey, WithoutKey };

using TextRow = std::vector<std::u16string>;

// Opens a unit read-write; Auto tries the plain file, then the key. Throws TestkitError when the
// file cannot be read in the chosen mode. Query results read NULL as empty.
class UnitReader {
public:
    explicit UnitReader(const std::filesystem::path& path, KeyMode mode = KeyMode::Auto);

    std::vector<std::string> Tables();
    std::vector<std::string> Columns(const std::string& table);
    bool HasTable(const std::string& table);
    bool HasColumn(const std::string& table, const std::string& column);
    std::vector<TextRow> QueryText(const std::string& sql);
    std::vector<std::vector<std::string>> QueryUtf8(const std::string& sql);
    std::string Text(const std::string& sql);  // rows joined by ';', cells by '|'
    std::optional<std::string> Scalar(const std::string& sql);  // first cell; nullopt for no row or NULL
    int64_t ScalarInt(const std::string& sql);  // no row or NULL: 0
    void Execute(const std::string& sql);

private:
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> m_db;
};

// A fresh folder under $TMPDIR or /tmp, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Points HOME and the XDG folders into a temporary folder for its lifetime.
class ScopedHomeEnv {
public:
    ScopedHomeEnv();
    ~ScopedHomeEnv();
    const std::filesystem::path& Home() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// Stores the desktop application's signed-in account as it does; an empty name signs out.
void SignInAccount(const std::u16string& name);

std::string U8(const std::u16string& text);
std::u16string U16(const std::string& text);

}  // namespace testkit
