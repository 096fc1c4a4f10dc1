#pragma once
// The import dialog's behaviour without a window: buttons, states, the worker thread that
// runs the store's Init, progress and cancelling. It talks to its window only through
// IImportFrontEnd; every On... handler runs on the user-interface thread, ImportThread and
// OnImportProgress on the worker.
#include "app/importer/ImportFrontEnd.h"
#include "store/Progress.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

class CImportDialogLogic {
public:
    // Runs one import (the store's Init by default); returns the store's result.
    using ImportRunner = std::function<int(const std::u16string& path, const std::u16string& account,
                                           const ProgressCallback& callback, const ActivityCallback& activity)>;

    explicit CImportDialogLogic(IImportFrontEnd& frontEnd, ImportRunner runner = {});
    CImportDialogLogic(const CImportDialogLogic&) = delete;
    CImportDialogLogic& operator=(const CImportDialogLogic&) = delete;
    // Cancels a running import and waits for its worker.
    ~CImportDialogLogic();

    void SetPath(const std::u16string& path) { m_path = path; }

    void OnInitDialog();
    void OnBrowse();
    void OnStartImport();
    void OnCancel();
    void OnOK() {}
    // The window was destroyed or its display is gone: nobody can answer a question any more, so
    // a running import is cancelled as if the user had confirmed, and the dialog closes.
    void OnWindowGone();
    // Worker thread: hands the report to the user-interface thread; always 1.
    int32_t OnImportProgress(int32_t position, int32_t maximum, const std::u16string& text);
    // Worker thread: hands the rows done to the user-interface thread, at most a few times a second.
    void OnImportActivity(int64_t rowsDone);
    // User-interface thread: shows one report (owned and dropped here); always 0.
    int32_t OnProgressMessage(std::unique_ptr<SProgressRecord> record);

    bool IsImportFinished() const { return m_importFinished.load() != 0; }

    // The account as the account line shows it.
    static std::u16string AccountLineName(const std::u16string& syncroName);

private:
    int32_t ImportThread(const std::u16string& path, const std::u16string& account);
    void AppendLogLine(const std::u16string& line);
    void CancelAndClose();
    // Sets the cancel flag and joins a running worker (not from the worker itself).
    void StopWorker();
    void JoinWorker();

    IImportFrontEnd& m_frontEnd;
    ImportRunner m_runner;
    std::u16string m_path;       // given by start-up
    std::u16string m_pathText;   // what the path field shows
    std::u16string m_logText;    // the text last appended to the log box
    std::atomic<int32_t> m_importFinished{1};
    std::chrono::steady_clock::time_point m_lastActivityPost; // worker thread only
    std::thread m_worker;
};
