#include "frmimport.h"

#include "closeddialogkeys.h"
#include "commandstep.h"
#include "csvcommands.h"
#include "filemessages.h"
#include "importpreview.h"
#include "itemgrid.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QUrl>

#include <climits>

// The file commands of the window: Open File and Save File with their dialogs, progress and
// messages, and the files dropped on the window or named on the command line.

namespace {

// The local files among dropped things, in their order; none when anything else is dropped.
QStringList droppedFiles(const QMimeData *data)
{
    QStringList fileNames;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        fileNames.append(url.toLocalFile());
    }
    return fileNames;
}

} // namespace

// A dialog or a progress window takes the focus from the cell being typed in, which closes its
// editor. Afterwards the user is back where they were: the window active again (a desktop
// without a window manager does not do it), the grid with the focus, and a cell that was being
// typed in still open with the caret after its text, unless the command moved the cursor.
class frmImport::ReturnToCell
{
public:
    explicit ReturnToCell(frmImport *window)
        : m_window(window)
        , m_typingIn(
              window->DataGrid1->isEditing() ? window->DataGrid1->currentIndex() : QModelIndex())
    {
        window->m_closedDialogKeys->hold();
    }
    ~ReturnToCell()
    {
        ItemGrid *grid = m_window->DataGrid1;
        // Without a window manager no one activates the window again when a dialog closes,
        // and Qt keeps sending keys to the hidden dialog's last focus widget. Asking the window
        // system (activateWindow) is not enough there: Qt must be told at once.
        m_window->activateWindow();
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(m_window);
        QT_WARNING_POP
        if (m_typingIn.isValid() && m_typingIn == grid->currentIndex() && !grid->isEditing())
            grid->resumeEditing();
        else if (!grid->isAncestorOf(m_window->focusWidget()))
            grid->setFocus();
        // The keys typed while the dialog closed act only now, where the command left the
        // cursor.
        m_window->m_closedDialogKeys->release();
    }
    ReturnToCell(const ReturnToCell &) = delete;
    ReturnToCell &operator=(const ReturnToCell &) = delete;

private:
    frmImport *m_window;
    QPersistentModelIndex m_typingIn;
};

void frmImport::setDialogRunner(DialogRunner runner)
{
    m_runDialog = std::move(runner);
}

void frmImport::setProgressWatcher(ProgressWatcher watcher)
{
    m_watchProgress = std::move(watcher);
}

void frmImport::cmdOpen_Click()
{
    const ReturnToCell returnToCell(this);
    ImportCsv();
}

void frmImport::cmdSave_Click()
{
    const ReturnToCell returnToCell(this);
    ExportCsv();
}

// Both file commands share the one dialog, set afresh before each use, and it offers the name
// chosen last in either command.
QString frmImport::askFileName(FileCommand command)
{
    const bool saving = command == FileCommand::Save;
    CommonDialog1->setWindowTitle(
        saving ? tr("Export Items as CSV...") : tr("Import Items from CSV..."));
    // Open also lists what spreadsheets export as text, so that such a file can be chosen.
    CommonDialog1->setNameFilters(saving
            ? QStringList {tr("CSV Files (*.csv)")}
            : QStringList {tr("CSV Files (*.csv)"), tr("Text files (*.csv *.txt *.tsv *.tab)"),
                tr("All files (*)")});
    CommonDialog1->setDefaultSuffix(QStringLiteral("csv"));
    CommonDialog1->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    CommonDialog1->setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!m_lastFileName.isEmpty())
        CommonDialog1->selectFile(m_lastFileName);
    if (runDialog(*CommonDialog1) != QDialog::Accepted)
        return {};
    const QStringList chosen = CommonDialog1->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return {};
    m_lastFileName = chosen.first();
    return m_lastFileName;
}

// A long command shows how far it got and, where it can stop, can be cancelled; a short one
// shows nothing. The dialog is made only when the work goes on past its first step, so that a
// short command does not pay for it.
Progress frmImport::progressFor(
    std::unique_ptr<QProgressDialog> &dialog, const QString &label, Cancelling cancelling)
{
    return [this, &dialog, label, cancelling](qint64 done, qint64 total) {
        if (!dialog) {
            if (done >= total)
                return true;
            dialog = std::make_unique<QProgressDialog>(this);
            dialog->setWindowTitle(QApplication::applicationName());
            dialog->setLabelText(label);
            // Keys typed ahead while the dialog comes up are meant for the grid: none of them
            // may press Cancel, so it takes no focus and is no default button.
            QPushButton *cancel = nullptr;
            if (cancelling == Cancelling::Possible) {
                cancel = new QPushButton(tr("Cancel"), dialog.get());
                cancel->setFocusPolicy(Qt::NoFocus);
                cancel->setAutoDefault(false);
            }
            dialog->setCancelButton(cancel);
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setAutoReset(false);
            dialog->setAutoClose(false);
            dialog->setMinimumDuration(500);
            if (m_watchProgress)
                m_watchProgress(*dialog);
            dialog->setValue(0);
        }
        // The dialog counts in int.
        total = std::max(total, done);
        while (total > INT_MAX) {
            total /= 1024;
            done /= 1024;
        }
        dialog->setMaximum(int(total));
        dialog->setValue(int(done));
        return !dialog->wasCanceled();
    };
}

void frmImport::ExportCsv()
{
    const QString fileName = askFileName(FileCommand::Save);
    if (fileName.isEmpty())
        return;
    ItemCsv::SaveResult saved;
    {
        std::unique_ptr<QProgressDialog> progress;
        saved = ItemCsv::saveTable(rsItems, fileName,
            progressFor(progress, tr("Saving \u201C%1\u201D\u2026").arg(fileName)), *m_fileSystem);
    }
    mentionEarlierSaves(saved.earlierBackups, fileName);
    const QString message = FileMessages::afterSave(saved, fileName);
    switch (saved.outcome) {
    case ItemCsv::SaveOutcome::Saved:
        showMessage(MessageKind::Information, message);
        return;
    case ItemCsv::SaveOutcome::Refused: {
        showError(message);
        const ItemCsv::RefusedValue first = *saved.firstRefusedValue();
        DataGrid1->setCurrentIndex(rsItems.index(first.row, position(first.column)));
        DataGrid1->setFocus();
        return;
    }
    case ItemCsv::SaveOutcome::SavedUnconfirmed:
    case ItemCsv::SaveOutcome::NotAFile:
    case ItemCsv::SaveOutcome::Failed:
    case ItemCsv::SaveOutcome::Damaged:
    case ItemCsv::SaveOutcome::Busy:
    case ItemCsv::SaveOutcome::Replaced:
    case ItemCsv::SaveOutcome::SavedToReplacedFile:
    case ItemCsv::SaveOutcome::BackupFailed:
    case ItemCsv::SaveOutcome::UnreadableName:
        showError(message);
        return;
    case ItemCsv::SaveOutcome::Cancelled:
        // The user cancelled and knows that nothing was saved.
        return;
    }
}

void frmImport::ImportCsv()
{
    const QString fileName = askFileName(FileCommand::Open);
    if (!fileName.isEmpty())
        openFiles({fileName});
}

void frmImport::openFiles(const QStringList &fileNames)
{
    CommandStep step(this);
    bool anyOpened = false;
    for (const QString &fileName : fileNames) {
        ItemCsv::OpenResult read;
        // Only the first file's rows take the place of a blank first row; a blank first line
        // of that file is a row like any other for the next.
        const ItemCsv::BlankFirstRow firstRow
            = anyOpened ? ItemCsv::BlankFirstRow::Keep : ItemCsv::BlankFirstRow::Replace;
        {
            std::unique_ptr<QProgressDialog> progress;
            read = ItemCsv::openTable(rsItems, fileName,
                progressFor(progress, tr("Opening \u201C%1\u201D\u2026").arg(fileName)), firstRow,
                *m_fileSystem);
        }
        mentionEarlierSaves(read.earlierBackups, fileName);
        // Cancel in the preview of any file drops the whole command, files read before too.
        if (read.text && !openInDialect(read, fileName, firstRow)) {
            revertStep();
            return;
        }
        const QString message = FileMessages::afterOpen(read, fileName);
        switch (read.outcome) {
        case ItemCsv::OpenOutcome::Opened:
            anyOpened = true;
            break;
        case ItemCsv::OpenOutcome::ReadStopped:
            anyOpened = true;
            showError(message);
            break;
        // The table is as it was before this file; the next one is opened.
        case ItemCsv::OpenOutcome::NotText:
        case ItemCsv::OpenOutcome::NotAFile:
        case ItemCsv::OpenOutcome::CannotOpen:
        case ItemCsv::OpenOutcome::Busy:
        case ItemCsv::OpenOutcome::UnreadableName:
            showError(message);
            break;
        // These drop the whole command, files read before too.
        case ItemCsv::OpenOutcome::NeedsDialect:
        case ItemCsv::OpenOutcome::Cancelled:
            revertStep();
            return;
        case ItemCsv::OpenOutcome::OutOfMemory:
        case ItemCsv::OpenOutcome::LineTooLong:
            revertStep();
            showError(message);
            return;
        }
    }
    if (anyOpened)
        cmdAdd_Click();
}

// A file not written as an item file is shown in a preview first, and its rows are added in the
// dialect the user confirms there; false when the user cancels. `read` then tells how the file's
// Open ended.
bool frmImport::openInDialect(
    ItemCsv::OpenResult &read, const QString &fileName, ItemCsv::BlankFirstRow firstRow)
{
    const QString label = tr("Opening \u201C%1\u201D\u2026").arg(fileName);
    ImportPreview preview(fileName, read, this);
    {
        std::unique_ptr<QProgressDialog> progress;
        if (!preview.readFirst(progressFor(progress, label)))
            return false;
    }
    if (runDialog(preview) != QDialog::Accepted)
        return false;
    std::unique_ptr<QProgressDialog> progress;
    const ItemCsv::OpenResult added = ItemCsv::appendText(
        rsItems, *read.text, preview.dialect(), progressFor(progress, label), firstRow);
    // A read that stopped part-way says so once its rows are in.
    if (read.outcome != ItemCsv::OpenOutcome::ReadStopped || !added.succeeded())
        read.outcome = added.outcome;
    read.tooLongLine = added.tooLongLine;
    return true;
}

// Backups that saves of the file which never ended left behind, each told of once a run.
void frmImport::mentionEarlierSaves(const QStringList &backups, const QString &fileName)
{
    for (const QString &backup : backups)
        showError(FileMessages::earlierSave(fileName, backup));
}

void frmImport::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmImport::dropEvent(QDropEvent *event)
{
    const QStringList fileNames = droppedFiles(event->mimeData());
    if (fileNames.isEmpty())
        return;
    event->acceptProposedAction();
    openFiles(fileNames);
}

// A popup still shown once a modal dialog has closed is the dialog's own, since nothing else
// could open one while it ran: Return in the file name's completion list accepts the dialog
// and leaves the list open, where it would swallow the next key meant for the grid.
int frmImport::runDialog(QDialog &dialog)
{
    const ReturnToCell returnToCell(this);
    const int result = m_runDialog(dialog);
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->hide();
    return result;
}

void frmImport::showMessage(MessageKind kind, const QString &text)
{
    QMessageBox box(kind == MessageKind::Warning ? QMessageBox::Warning : QMessageBox::Information,
        QApplication::applicationName(), text, QMessageBox::Ok, this);
    runDialog(box);
}

void frmImport::showError(const QString &text)
{
    showMessage(MessageKind::Warning, text);
}
