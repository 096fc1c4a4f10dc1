#pragma once
// What the import dialog's logic needs of a window. The Qt dialog is one implementation;
// tests use a recording one. Every operation runs on the user-interface thread except
// PostProgress, which the worker calls.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// One report handed from the worker to the user-interface thread: a progress line; the rows the
// run has passed so far (the store's side channel, shown beside the log, never in it); or the
// worker's last message of a run that was not cancelled (its final control updates).
struct SProgressRecord {
    enum class EKind { Line, Activity, Finished };
    int32_t position = 0;
    int32_t maximum = 0;
    std::u16string text;
    EKind kind = EKind::Line;
    int64_t rowsDone = 0;
};

class IImportFrontEnd {
public:
    // The log box is not among them: it stays enabled and read-only, so it can be read and
    // scrolled during a run.
    enum class EControl { Browse, Start };

    virtual ~IImportFrontEnd() = default;

    // Questions and notices.
    virtual bool AskYesNo(const std::u16string& text, const std::u16string& caption) = 0;
    virtual void ShowNotice(const std::u16string& text, const std::u16string& caption) = 0;
    // An open-file choice with a filter such as "学习单元文件(*.tav)"; nothing when cancelled.
    virtual std::optional<std::u16string> ChooseFile(const std::u16string& filter,
                                                     const std::u16string& defaultExtension) = 0;

    // Controls.
    virtual void SetPathText(const std::u16string& text) = 0;
    virtual void SetAccountText(const std::u16string& text) = 0;
    virtual void SetCancelText(const std::u16string& text) = 0;
    virtual void EnableControl(EControl control, bool enabled) = 0;

    // Progress bar (range 0 to maximum) and log box.
    virtual void SetProgress(int32_t maximum, int32_t position) = 0;
    virtual void ClearLog() = 0;
    virtual void AppendLog(const std::u16string& text) = 0;
    // The status text beside the log: life during a long phase that adds no line.
    virtual void SetStatusText(const std::u16string& text) = 0;

    // Called on the worker: queues the record for the logic's OnProgressMessage on the
    // user-interface thread and returns at once, never waiting for that thread.
    virtual void PostProgress(std::unique_ptr<SProgressRecord> record) = 0;

    // Ends the modal run with the cancel result.
    virtual void CloseDialog() = 0;
};
