// tavtool library list | show | remove | export: the personal library as the console shows it.
#include "app/console/ConsoleAccount.h"
#include "app/console/ConsoleCommands.h"
#include "app/console/LibraryJson.h"
#include "app/console/LibraryView.h"
#include "library/LibraryErrors.h"
#include "library/LibraryExport.h"
#include "library/LibraryReader.h"
#include "library/OvDataMiddle.h"
#include "support/TextConvert.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

// The service lives for one command, as it does for one store object during an import.
class CServiceScope {
public:
    CServiceScope() { IOvDataMiddle::Initialize(-1); }
    ~CServiceScope() { IOvDataMiddle::Uninitialize(); }
    CServiceScope(const CServiceScope&) = delete;
    CServiceScope& operator=(const CServiceScope&) = delete;
};

class CLibraryCommand {
public:
    CLibraryCommand(const LibraryOptions& options, std::FILE* out, std::FILE* err)
        : m_options(options), m_out(out), m_err(err), m_user(ApplyAccountOptions(options.account, options.syncDir)),
          m_reader(m_user)
    {
    }

    int Run()
    {
        if (m_user.empty()) {
            Error("no account: sign in with the desktop application or give --account NAME");
            return 1;
        }
        switch (m_options.action) {
        case LibraryAction::List:
            return List();
        case LibraryAction::Show:
            return Show();
        case LibraryAction::Remove:
            return m_options.incomplete ? RemoveIncomplete() : Remove();
        case LibraryAction::Export:
            return Export();
        }
        return 1;
    }

private:
    // Every entry of the library; false with `status` set when there is nothing to go on with.
    // An account that never imported anything has no library: nothing there, no failure.
    bool ReadEntries(std::vector<SLibraryEntry>& entries, const std::string& nothing, int& status)
    {
        const int32_t result = m_reader.ListEntries(entries);
        if (result == kLibraryNoLibrary) {
            Error("account " + User() + " has no personal library yet: " + nothing);
            status = 0;
            return false;
        }
        if (result != kLibraryOk) {
            status = Failed("cannot read the personal library of " + User(), result);
            return false;
        }
        return true;
    }

    int List()
    {
        std::vector<SLibraryEntry> entries;
        int status = 0;
        if (!ReadEntries(entries, "nothing imported", status))
            return status;
        if (entries.empty())
            Error("the personal library of " + User() + " holds no entries");
        Print(FormatEntryList(entries));
        return 0;
    }

    // The whole of the entry that ENTRY names; says why when it cannot be read.
    bool ReadNamedEntry(SLibraryEntryContents& contents)
    {
        SLibraryEntry entry;
        if (!Resolve(entry))
            return false;
        const int32_t result = m_reader.ReadEntryContents(entry.TavGuid, contents);
        if (result != kLibraryOk) {
            Failed("cannot read entry " + WideToUtf8(entry.TavGuid), result);
            return false;
        }
        return true;
    }

    int Show()
    {
        SLibraryEntryContents contents;
        if (!ReadNamedEntry(contents))
            return 1;
        Print(m_options.json ? EntryJsonText(contents) : FormatEntryContents(contents));
        return 0;
    }

    int Remove()
    {
        SLibraryEntry entry;
        if (!Resolve(entry))
            return 1;
        const std::string described = WideToUtf8(entry.TavGuid) + " (" + WideToUtf8(entry.Name) + ")";
        int32_t result;
        {
            CServiceScope service;
            result = IOvDataMiddle::Instance().DeleteLearningUnit(entry.TavGuid, m_user);
        }
        if (result == kLibraryRemoveFailed)
            return Failed("removed the records of " + described + ", but not all of its attachment files", result);
        if (result != kLibraryOk)
            return Failed("cannot remove " + described, result);
        Print("removed " + described + " with " + std::to_string(entry.FolderCount) + " folders, " +
              std::to_string(entry.LiteratureCount) + " literature, " + std::to_string(entry.NoteCount) +
              " notes and its attachment files\n");
        return 0;
    }

    // Every entry whose import never completed: a failed, killed or cancelled run's leftovers.
    int RemoveIncomplete()
    {
        std::vector<SLibraryEntry> entries;
        int status = 0;
        if (!ReadEntries(entries, "nothing to remove", status))
            return status;
        int failures = 0;
        size_t removed = 0;
        CServiceScope service;
        for (const SLibraryEntry& entry : entries) {
            if (entry.Complete)
                continue;
            const std::string described = WideToUtf8(entry.TavGuid) + " (" + WideToUtf8(entry.Name) + ")";
            const int32_t deleted = IOvDataMiddle::Instance().DeleteLearningUnit(entry.TavGuid, m_user);
            if (deleted != kLibraryOk) {
                Failed("cannot remove " + described, deleted);
                ++failures;
                continue;
            }
            ++removed;
            Print("removed incomplete entry " + described + "\n");
        }
        if (removed == 0 && failures == 0)
            Error("the personal library of " + User() + " holds no incomplete entries");
        return failures == 0 ? 0 : 1;
    }

    int Export()
    {
        EExportFormat format = EExportFormat::CslJson;
        if (!ParseExportFormat(m_options.format, format)) {
            Error("unknown export format \"" + m_options.format + "\": give csl-json, bibtex or ris");
            return 1;
        }
        SLibraryEntryContents contents;
        if (!ReadNamedEntry(contents))
            return 1;
        if (m_options.output.empty()) {
            Print(ExportEntryText(contents, format, std::filesystem::path()));
            return 0;
        }
        std::error_code error;
        const std::filesystem::path output = std::filesystem::absolute(m_options.output, error);
        std::string failure = error.message();
        if (error || !WriteFileReplacing(output, ExportEntryText(contents, format, output.parent_path()), failure)) {
            Error("cannot write " + m_options.output + ": " + failure);
            return 1;
        }
        return 0;
    }

    // Finds the one entry that ENTRY names; says why when there is none.
    bool Resolve(SLibraryEntry& entry)
    {
        std::vector<SLibraryEntry> matches;
        const int32_t result = m_reader.FindEntries(Utf8ToWide(m_options.entry), matches);
        const std::string quoted = "\"" + m_options.entry + "\"";
        switch (result) {
        case kLibraryOk:
            entry = matches.front();
            return true;
        case kLibraryBadArgument:
            Error("give the TavGuid of an entry or its first digits (see tavtool library list)");
            return false;
        case kLibraryNoLibrary:
            Error("no entry " + quoted + ": account " + User() + " has no personal library yet");
            return false;
        case kLibraryUnitNotFound:
            Error("no entry of " + User() + " has a TavGuid that begins with " + quoted + " (see tavtool library list)");
            return false;
        case kLibraryAmbiguousEntry:
            Error(quoted + " begins the TavGuid of " + std::to_string(matches.size()) +
                  " entries; give more digits:");
            for (const SLibraryEntry& match : matches)
                std::fputs(("  " + FormatEntryLine(match)).c_str(), m_err);
            return false;
        default:
            Failed("cannot read the personal library of " + User(), result);
            return false;
        }
    }

    std::string User() const { return WideToUtf8(m_user); }

    void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), m_out); }

    void Error(const std::string& message) { std::fprintf(m_err, "tavtool: %s\n", message.c_str()); }

    int Failed(const std::string& message, int32_t code)
    {
        Error(message + ": " + WideToUtf8(LibraryErrorText(code)));
        return 1;
    }

    const LibraryOptions& m_options;
    std::FILE* m_out;
    std::FILE* m_err;
    std::u16string m_user;
    CLibraryReader m_reader;
};

} // namespace

int RunLibraryCommand(const LibraryOptions& options, std::FILE* out, std::FILE* err)
{
    return CLibraryCommand(options, out, err).Run();
}
