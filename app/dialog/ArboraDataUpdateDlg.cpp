#include "app/dialog/ArboraDataUpdateDlg.h"

#include "app/dialog/DialogUnits.h"
#include "app/dialog/WindowGoneFilter.h"

#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>

// The icon is compiled into this static library; the reference keeps it linked.
static void InitDialogResources()
{
    Q_INIT_RESOURCE(dialog);
}

namespace {

QString Q(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

template <typename Control>
Control* Place(QDialog* dialog, const CDialogUnits& units, int id, int x, int y, int width, int height)
{
    auto* control = new Control(dialog); // owned by the dialog
    control->setObjectName(QStringLiteral("control%1").arg(id));
    control->setGeometry(units.ToPixels(x, y, width, height));
    return control;
}

QPushButton* PlaceButton(QDialog* dialog, const CDialogUnits& units, int id, const QString& text, int x, int y,
                         int width, int height)
{
    auto* button = Place<QPushButton>(dialog, units, id, x, y, width, height);
    button->setText(text);
    // Enter belongs to OnOK alone, which ignores it; no button becomes the default.
    button->setAutoDefault(false);
    return button;
}

} // namespace

CArboraDataUpdateDlg::CArboraDataUpdateDlg(const std::u16string& path, CImportDialogLogic::ImportRunner runner)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_logic(std::make_unique<CImportDialogLogic>(static_cast<IImportFrontEnd&>(*this), std::move(runner)))
{
    InitDialogResources();
    setWindowTitle(QStringLiteral("学习单元导入"));
    setWindowIcon(QIcon(QStringLiteral(":/arbora-data-update.svg")));
    BuildControls();
    m_logic->SetPath(path);
    m_logic->OnInitDialog();
    m_windowGoneFilter = std::make_unique<CWindowGoneFilter>(*this, [this] {
        QMetaObject::invokeMethod(this, &CArboraDataUpdateDlg::OnWindowGone, Qt::QueuedConnection);
    });
}

CArboraDataUpdateDlg::~CArboraDataUpdateDlg()
{
    m_windowGoneFilter.reset();
    // Stop and join a running import while this window can still take its posted reports.
    m_logic.reset();
}

void CArboraDataUpdateDlg::OnWindowGone()
{
    // A question or file choice open on the window would wait for an answer nobody can give.
    for (QDialog* box : findChildren<QDialog*>())
        if (box->isVisible())
            box->reject();
    m_logic->OnWindowGone();
}

void CArboraDataUpdateDlg::BuildControls()
{
    const CDialogUnits units(fontMetrics());
    setFixedSize(units.ToPixels(320, 200));

    m_cancel = PlaceButton(this, units, IDCANCEL_BUTTON, QStringLiteral("取消"), 263, 179, 50, 14);
    auto* prompt = Place<QLabel>(this, units, -1, 7, 21, 97, 8);
    prompt->setObjectName(QStringLiteral("controlStatic"));
    prompt->setText(QStringLiteral("请选择要导入的学习单元："));
    m_pathEdit = Place<QLineEdit>(this, units, IDC_PATH, 7, 36, 281, 14);
    m_pathEdit->setReadOnly(true);
    m_browse = PlaceButton(this, units, IDC_BROWSE, QStringLiteral("..."), 293, 36, 20, 14);
    m_progress = Place<QProgressBar>(this, units, IDC_PROGRESS, 7, 60, 306, 14);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_start = PlaceButton(this, units, IDC_START, QStringLiteral("开始导入"), 263, 84, 50, 36);
    m_logBox = Place<QPlainTextEdit>(this, units, IDC_LOG, 7, 84, 249, 86);
    m_logBox->setReadOnly(true);
    m_logBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_logBox->setMaximumBlockCount(0); // keeps every line
    m_status = Place<QLabel>(this, units, IDC_STATUS, 7, 182, 249, 8);
    m_account = Place<QLabel>(this, units, IDC_ACCOUNT, 7, 7, 306, 8);
    m_account->setText(QStringLiteral("Static"));

    connect(m_cancel, &QPushButton::clicked, this, &CArboraDataUpdateDlg::reject);
    connect(m_browse, &QPushButton::clicked, this, [this] { m_logic->OnBrowse(); });
    connect(m_start, &QPushButton::clicked, this, [this] { m_logic->OnStartImport(); });
}

void CArboraDataUpdateDlg::accept()
{
    m_logic->OnOK();
}

void CArboraDataUpdateDlg::reject()
{
    m_logic->OnCancel();
}

void CArboraDataUpdateDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_logic->OnOK();
        return;
    }
    QDialog::keyPressEvent(event); // Esc reaches reject()
}

void CArboraDataUpdateDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

bool CArboraDataUpdateDlg::AskYesNo(const std::u16string& text, const std::u16string& caption)
{
    QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, this);
    return box.exec() == QMessageBox::Yes;
}

void CArboraDataUpdateDlg::ShowNotice(const std::u16string& text, const std::u16string& caption)
{
    QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, this);
    box.exec();
}

std::optional<std::u16string> CArboraDataUpdateDlg::ChooseFile(const std::u16string& filter,
                                                               const std::u16string& defaultExtension)
{
    QFileDialog chooser(this);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilter(Q(filter));
    chooser.setDefaultSuffix(Q(defaultExtension));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return chooser.selectedFiles().front().toStdU16String();
}

void CArboraDataUpdateDlg::SetPathText(const std::u16string& text)
{
    m_pathEdit->setText(Q(text));
}

void CArboraDataUpdateDlg::SetAccountText(const std::u16string& text)
{
    m_account->setText(Q(text));
}

void CArboraDataUpdateDlg::SetCancelText(const std::u16string& text)
{
    m_cancel->setText(Q(text));
}

void CArboraDataUpdateDlg::EnableControl(EControl control, bool enabled)
{
    switch (control) {
    case EControl::Browse: m_browse->setEnabled(enabled); break;
    case EControl::Start: m_start->setEnabled(enabled); break;
    }
}

void CArboraDataUpdateDlg::SetProgress(int32_t maximum, int32_t position)
{
    // An empty range shows an empty bar, as the Windows control does (Qt would animate a busy
    // bar), and a position outside the range is clamped rather than ignored.
    m_progress->setRange(0, std::max(maximum, 1));
    m_progress->setValue(maximum <= 0 ? 0 : std::clamp(position, 0, maximum));
}

void CArboraDataUpdateDlg::ClearLog()
{
    m_logBox->clear();
}

void CArboraDataUpdateDlg::AppendLog(const std::u16string& text)
{
    QString line = Q(text);
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_logBox->moveCursor(QTextCursor::End);
    m_logBox->insertPlainText(line);
    m_logBox->verticalScrollBar()->setValue(m_logBox->verticalScrollBar()->maximum());
}

void CArboraDataUpdateDlg::SetStatusText(const std::u16string& text)
{
    m_status->setText(Q(text));
}

void CArboraDataUpdateDlg::PostProgress(std::unique_ptr<SProgressRecord> record)
{
    // Queued: the worker returns at once. Reports still queued when the window goes away are
    // dropped with it.
    QMetaObject::invokeMethod(
        this, [this, record = std::shared_ptr<SProgressRecord>(std::move(record))]() mutable {
            m_logic->OnProgressMessage(std::make_unique<SProgressRecord>(std::move(*record)));
        },
        Qt::QueuedConnection);
}

void CArboraDataUpdateDlg::CloseDialog()
{
    QDialog::reject();
}
