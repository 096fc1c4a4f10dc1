#pragma once
// The import dialog: dialog template 102 rebuilt with Qt Widgets. Behaviour lives in
// CImportDialogLogic; this class only owns the controls and carries out the logic's requests.
#include "app/importer/ImportDialogLogic.h"

#include <QDialog>

#include <memory>

class CWindowGoneFilter;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class CArboraDataUpdateDlg : public QDialog, private IImportFrontEnd {
    Q_OBJECT
public:
    // Control ids of the template; each control's object name is "control<id>".
    enum : int {
        IDCANCEL_BUTTON = 2,
        IDC_PATH = 1000,
        IDC_BROWSE = 1001,
        IDC_PROGRESS = 1002,
        IDC_START = 1003,
        IDC_LOG = 1004,
        IDC_ACCOUNT = 1005,
        IDC_STATUS = 1006, // not in the template: the status text beside the log
    };

    // `path` is the unit named on the command line (may be empty); `runner` replaces the
    // store's Init (tests only).
    explicit CArboraDataUpdateDlg(const std::u16string& path = {}, CImportDialogLogic::ImportRunner runner = {});
    ~CArboraDataUpdateDlg() override;

    void accept() override;
    void reject() override;

    // The native window was destroyed under the dialog (or its display went away): ends an open
    // question or file choice and cancels and closes as if the user had confirmed.
    void OnWindowGone();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool AskYesNo(const std::u16string& text, const std::u16string& caption) override;
    void ShowNotice(const std::u16string& text, const std::u16string& caption) override;
    std::optional<std::u16string> ChooseFile(const std::u16string& filter, const std::u16string& defaultExtension) override;
    void SetPathText(const std::u16string& text) override;
    void SetAccountText(const std::u16string& text) override;
    void SetCancelText(const std::u16string& text) override;
    void EnableControl(EControl control, bool enabled) override;
    void SetProgress(int32_t maximum, int32_t position) override;
    void ClearLog() override;
    void AppendLog(const std::u16string& text) override;
    void SetStatusText(const std::u16string& text) override;
    void PostProgress(std::unique_ptr<SProgressRecord> record) override;
    void CloseDialog() override;

    void BuildControls();

    QPushButton* m_cancel = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_start = nullptr;
    QPlainTextEdit* m_logBox = nullptr;
    QLabel* m_account = nullptr;
    QLabel* m_status = nullptr;
    std::unique_ptr<CWindowGoneFilter> m_windowGoneFilter;
    std::unique_ptr<CImportDialogLogic> m_logic;
};
