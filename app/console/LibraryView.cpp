#include "app/console/LibraryView.h"

#include "support/FilePathParts.h"
#include "support/TextConvert.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace {

constexpr size_t kExcerptLength = 60;
// Folder levels shown by indentation; deeper ones name their level instead.
constexpr int32_t kMaxIndentDepth = 40;

// A library text on one console line.
std::string OneLine(const std::u16string& text)
{
    std::u16string line = text;
    for (char16_t& c : line) {
        if (c < 0x20 || c == 0x7F)
            c = u' ';
    }
    return WideToUtf8(line);
}

std::string Excerpt(const std::u16string& text)
{
    if (text.size() <= kExcerptLength)
        return OneLine(text);
    size_t length = kExcerptLength;
    if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
        --length; // never split a surrogate pair
    return OneLine(text.substr(0, length)) + "...";
}

std::string ReadingState(const std::shared_ptr<SLiteratureRelate>& relate)
{
    if (!relate)
        return "no reading state";
    std::string state = relate->LastReadTime.empty() ? "never read" : "last read " + OneLine(relate->LastReadTime);
    state += ", position " + std::to_string(relate->LastReadPos);
    state += ", progress " + std::to_string(relate->ReadingProgress);
    if (relate->Locked != 0)
        state += ", locked";
    return state;
}

std::string NoteLine(const SLibraryNote& note)
{
    const SNoteInfo& info = *note.Note;
    // TypeID 10 marks a highlight, every other value a note.
    std::string line = info.TypeID == 10 ? "highlight " : "note ";
    if (!info.Title.empty())
        line += "\"" + Excerpt(info.Title) + "\"";
    else if (!info.ContentText.empty())
        line += "\"" + Excerpt(info.ContentText) + "\"";
    else
        line += "(untitled)";
    if (!note.Labels.empty()) {
        line += "  labels: ";
        bool first = true;
        for (const std::u16string& label : note.Labels) {
            if (!first)
                line += ", ";
            line += OneLine(label);
            first = false;
        }
    }
    return line;
}

class CContentsWriter {
public:
    explicit CContentsWriter(const SLibraryEntryContents& contents)
        : m_contents(contents)
    {
        for (const auto& literature : contents.Literature)
            m_literature.emplace(literature->LiterGuid, literature);
        for (const SLibraryNote& note : contents.Notes)
            m_notes.emplace(note.Note->LiterGuid, &note);
    }

    std::string Write()
    {
        const SLibraryEntry& entry = m_contents.Entry;
        m_text += "entry     " + OneLine(entry.Name) + "\n";
        m_text += "TavGuid   " + WideToUtf8(entry.TavGuid) + "\n";
        m_text += "state     " + std::string(entry.Complete ? "complete" : "incomplete") + ", created " +
                  OneLine(entry.CreateTime);
        if (entry.Complete && !entry.CompleteTime.empty())
            m_text += ", completed " + OneLine(entry.CompleteTime);
        m_text += "\n";
        m_text += "contents  " + std::to_string(m_contents.Folders.size()) + " folders, " +
                  std::to_string(m_contents.Literature.size()) + " literature, " +
                  std::to_string(m_contents.Notes.size()) + " notes, " +
                  std::to_string(m_contents.Attachments.size()) + " attachments\n";

        std::set<std::u16string> filed;
        if (!m_contents.Folders.empty())
            m_text += "\nfolders:\n";
        for (const SLibraryFolderNode& node : m_contents.Folders) {
            // Past kMaxIndentDepth the indent stops growing and the line names its level: a
            // chain of folders thousands deep would otherwise print a square amount of spaces.
            const int32_t shown = std::min(node.Depth, kMaxIndentDepth);
            const std::string indent(static_cast<size_t>(2 * (shown + 1)), ' ');
            m_text += indent + (node.Depth > shown ? "(level " + std::to_string(node.Depth + 1) + ") " : "") +
                      OneLine(node.Folder->Name) + "/\n";
            const auto it = m_contents.FolderLiterature.find(node.Folder->FolderGuid);
            if (it == m_contents.FolderLiterature.end())
                continue;
            for (const std::u16string& literGuid : it->second) {
                WriteLiterature(literGuid, indent + "  ");
                filed.insert(literGuid);
            }
        }

        bool header = false;
        for (const auto& literature : m_contents.Literature) {
            if (filed.count(literature->LiterGuid) != 0)
                continue;
            if (!header)
                m_text += "\nliterature in no folder:\n";
            header = true;
            WriteLiterature(literature->LiterGuid, "  ");
        }

        header = false;
        for (const SLibraryNote& note : m_contents.Notes) {
            if (m_literature.count(note.Note->LiterGuid) != 0)
                continue;
            if (!header)
                m_text += "\nnotes without literature:\n";
            header = true;
            m_text += "  " + NoteLine(note) + "\n";
        }

        if (!m_contents.Attachments.empty())
            m_text += "\nattachments:\n";
        for (const SLibraryAttachment& attachment : m_contents.Attachments)
            m_text += "  " + OneLine(attachment.StoredPath) + "  (from " + OneLine(attachment.SourcePath) + ")\n";
        return std::move(m_text);
    }

private:
    void WriteLiterature(const std::u16string& literGuid, const std::string& indent)
    {
        const auto found = m_literature.find(literGuid);
        if (found == m_literature.end())
            return;
        const SLiteratureInfo& literature = *found->second;
        m_text += indent + "- " + (literature.Title.empty() ? "(no title)" : OneLine(literature.Title));
        if (!literature.DOI.empty())
            m_text += "  DOI " + OneLine(literature.DOI);
        const auto relate = m_contents.Relates.find(literGuid);
        m_text += "  [" + ReadingState(relate == m_contents.Relates.end() ? nullptr : relate->second) + "]\n";
        const auto [begin, end] = m_notes.equal_range(literGuid);
        for (auto it = begin; it != end; ++it)
            m_text += indent + "    " + NoteLine(*it->second) + "\n";
    }

    const SLibraryEntryContents& m_contents;
    std::map<std::u16string, std::shared_ptr<SLiteratureInfo>> m_literature;
    std::multimap<std::u16string, const SLibraryNote*> m_notes; // by LiterGuid, in the order added
    std::string m_text;
};

} // namespace

// "  from <file name>, TavId <first 8 digits>"; nothing for an entry made before sources were recorded.
std::string EntrySource(const SLibraryEntry& entry)
{
    if (entry.SourceTavId.empty())
        return std::string();
    return "  from " + OneLine(FilePathParts(entry.SourcePath).FileName()) + ", TavId " +
           OneLine(entry.SourceTavId.substr(0, 8));
}

std::string FormatEntryLine(const SLibraryEntry& entry)
{
    return WideToUtf8(entry.TavGuid) + "  " + OneLine(entry.CreateTime) + "  " +
           (entry.Complete ? "complete  " : "incomplete") + "  folders " + std::to_string(entry.FolderCount) +
           "  literature " + std::to_string(entry.LiteratureCount) + "  notes " + std::to_string(entry.NoteCount) +
           "  " + OneLine(entry.Name) + EntrySource(entry) + "\n";
}

std::string FormatEntryList(const std::vector<SLibraryEntry>& entries)
{
    std::string text;
    for (const SLibraryEntry& entry : entries)
        text += FormatEntryLine(entry);
    return text;
}

std::string FormatEntryContents(const SLibraryEntryContents& contents)
{
    return CContentsWriter(contents).Write();
}
