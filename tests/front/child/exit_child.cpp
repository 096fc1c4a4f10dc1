// Ends the process with exit() in the middle of an import, as Qt does when the display connection
// breaks, for the exit test of the import dialog's logic. A program of its own, so that the test
// sees how the process ends.
//
// Usage: exit_child UNIT EXIT_AT [--rows]
// Imports UNIT with the dialog's logic and the real store (default pauses), writing each line to
// standard output as it comes (with --rows also the rows done, as "rows N"); once a line starts
// with EXIT_AT, or the import has ended, the main thread calls exit(5).
#include "app/importer/ImportDialogLogic.h"
#include "support/TextConvert.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace {

class CLineWriter : public IImportFrontEnd {
public:
    CLineWriter(std::string exitAt, bool rows) : m_exitAt(std::move(exitAt)), m_rows(rows) {}

    bool AskYesNo(const std::u16string&, const std::u16string&) override { return true; }
    void ShowNotice(const std::u16string& text, const std::u16string&) override { Write("notice " + WideToUtf8(text)); }
    std::optional<std::u16string> ChooseFile(const std::u16string&, const std::u16string&) override { return {}; }
    void SetPathText(const std::u16string&) override {}
    void SetAccountText(const std::u16string&) override {}
    void SetCancelText(const std::u16string&) override {}
    void EnableControl(EControl, bool) override {}
    void SetProgress(int32_t, int32_t) override {}
    void ClearLog() override {}
    void AppendLog(const std::u16string&) override {}
    void SetStatusText(const std::u16string&) override {}
    void CloseDialog() override {}
    void PostProgress(std::unique_ptr<SProgressRecord> record) override
    {
        if (record->kind == SProgressRecord::EKind::Activity && m_rows)
            Write("rows " + std::to_string(record->rowsDone));
        if (record->kind == SProgressRecord::EKind::Activity)
            return;
        const std::string line = WideToUtf8(record->text);
        if (record->kind == SProgressRecord::EKind::Line)
            Write(line);
        if (record->kind == SProgressRecord::EKind::Finished || line.rfind(m_exitAt, 0) == 0) {
            std::lock_guard lock(m_mutex);
            m_reached = true;
            m_reachedChanged.notify_all();
        }
    }

    void WaitUntilReached()
    {
        std::unique_lock lock(m_mutex);
        m_reachedChanged.wait(lock, [this] { return m_reached; });
    }

private:
    static void Write(const std::string& line)
    {
        const std::string text = line + "\n";
        if (write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            _exit(3);
    }

    std::string m_exitAt;
    bool m_rows;
    std::mutex m_mutex;
    std::condition_variable m_reachedChanged;
    bool m_reached = false;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4)
        return 2;
    CLineWriter window(argv[2], argc == 4 && std::string(argv[3]) == "--rows");
    CImportDialogLogic logic(window);
    logic.SetPath(Utf8ToWide(argv[1]));
    logic.OnInitDialog();
    logic.OnStartImport();
    window.WaitUntilReached();
    std::exit(5); // the logic is still alive and its worker running: exit handlers would run under it
}
