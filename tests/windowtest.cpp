#include "windowtest.h"

#include "itemgrid.h"
#include "picklist.h"
#include "previewmodel.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>

QStringList entries(const PickList *list)
{
    QStringList texts;
    const QAbstractItemModel *model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts.append(model->index(row, 0).data().toString());
    return texts;
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return "<no file>";
    return file.readAll();
}

void write(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
}

namespace {

// The import preview as WindowDriver::previews describes it. A control without an accessible
// name shows as "unnamed".
QString describePreview(const QDialog &preview)
{
    QStringList parts;
    for (const char *name :
        {"comma", "semicolon", "tab", "quotesAreText", "headingLine", "decimalComma", "itemFile"}) {
        const auto *button = preview.findChild<QAbstractButton *>(QLatin1StringView(name));
        if (!button->isHidden() && button->isChecked())
            parts.append(QLatin1StringView(name));
    }
    QStringList columns;
    for (const QComboBox *box : preview.findChildren<QComboBox *>())
        columns.append(box->currentText());
    parts.append(columns.join(u','));
    const auto *model = qobject_cast<const PreviewModel *>(
        preview.findChild<QTableView *>(QStringLiteral("preview"))->model());
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex cell = model->index(row, column);
            cells.append(cell.data().toString() + (model->refusedValue(cell) ? "!" : ""));
        }
        parts.append(cells.join(u'|'));
    }
    for (const char *name : {"notes", "encoding"})
        parts.append(preview.findChild<QLabel *>(QLatin1StringView(name))->text());
    for (const QWidget *control : preview.findChildren<QWidget *>()) {
        if (control->focusPolicy() != Qt::NoFocus && control->accessibleName().isEmpty())
            parts.append(QStringLiteral("unnamed ") + control->metaObject()->className());
    }
    return parts.join(QStringLiteral(" / "));
}

} // namespace

WindowDriver::WindowDriver()
    : m_window(std::make_unique<frmImport>())
{
    QApplication::setApplicationName(QStringLiteral("PantrovoImporter"));
    // A command that forgets to open its undo step makes the window warn: that fails the test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("outside any command")));
    m_window->setDialogRunner([this](QDialog &dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
            const QString icon = box->icon() == QMessageBox::Information
                ? QStringLiteral("Information")
                : box->icon() == QMessageBox::Warning ? QStringLiteral("Warning")
                                                      : QStringLiteral("Other");
            const QString buttons = box->standardButtons() == QMessageBox::Ok
                ? QString()
                : QStringLiteral(" (not just OK)");
            messages.append(QStringLiteral("[%1] %2: %3%4")
                                .arg(icon, box->windowTitle(), box->text(), buttons));
            return int(QMessageBox::Ok);
        }
        if (dialog.objectName() == u"ImportPreview") {
            dialog.show();
            QApplication::setActiveWindow(&dialog);
            previews.append(describePreview(dialog));
            keys(previewKeys.isEmpty() ? QStringLiteral("{Escape}") : previewKeys.takeFirst());
            dialog.hide();
            return dialog.result();
        }
        auto *files = qobject_cast<QFileDialog *>(&dialog);
        if (!files)
            return int(QDialog::Rejected);
        if (fileAnswers.isEmpty() && !typedFileNames.isEmpty())
            return typeIntoFileDialog(dialog, typedFileNames.takeFirst());
        fileDialogs.append(QStringList {files->windowTitle(), files->nameFilters().join(u';'),
            files->defaultSuffix(), files->selectedFiles().value(0)}
                               .join(QStringLiteral(" | ")));
        const QString answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        if (answer.isEmpty())
            return int(QDialog::Rejected);
        files->selectFile(answer);
        if (afterFileDialog)
            afterFileDialog();
        return int(QDialog::Accepted);
    });
    m_window->setProgressWatcher([this](QProgressDialog &dialog) {
        if (!cancelProgress)
            return;
        // Half a second is a timed test; the dialog's own rule is the same from zero.
        dialog.setMinimumDuration(0);
        // Runs in the first events the dialog lets through, which it does once it is shown.
        // (A timer of the dialog's own rather than QTimer::singleShot, whose functor the static
        // analyser takes for a leak.)
        auto *firstEvents = new QTimer(&dialog);
        firstEvents->setSingleShot(true);
        firstEvents->start(0);
        QObject::connect(firstEvents, &QTimer::timeout, &dialog, [this, &dialog] {
            QWidget *focus = QApplication::focusWidget();
            QWidget *target = focus && focus->window() == &dialog ? focus : &dialog;
            QTest::keyClicks(target, QStringLiteral("Milk "));
            QTest::keyClick(target, Qt::Key_Return);
            const QString keys
                = dialog.wasCanceled() ? QStringLiteral("cancelled") : QStringLiteral("ignored");
            auto *cancel = dialog.findChild<QPushButton *>();
            if (cancel != nullptr)
                QTest::mouseClick(cancel, Qt::LeftButton);
            progressDialogs.append(
                QStringLiteral("%1: keys %2, then %3")
                    .arg(dialog.labelText(), keys,
                        cancel ? QStringLiteral("Cancel clicked") : QStringLiteral("no Cancel")));
        });
    });
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("the window did not become active");
}

WindowDriver::~WindowDriver() = default;

int WindowDriver::typeIntoFileDialog(QDialog &dialog, const QString &name)
{
    auto *shown = new QTimer(&dialog);
    shown->setSingleShot(true);
    shown->start(0);
    QObject::connect(shown, &QTimer::timeout, &dialog, [this, &dialog, name] {
        const bool active
            = QTest::qWaitFor([&dialog] { return QApplication::activeWindow() == &dialog; });
        keys(name);
        const bool listed = active
            && QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; });
        QVERIFY2(listed, "the file dialog did not list the typed name");
        // At full speed the window system sends the key after Return where the keyboard still
        // is, to the list's window, before the program has closed the dialog.
        QWindow *list = QApplication::activePopupWidget()->windowHandle();
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Tab);
    });
    return dialog.exec();
}

void WindowDriver::useRealDialogs()
{
    m_window->setDialogRunner([](QDialog &dialog) { return dialog.exec(); });
}

ItemGrid *WindowDriver::grid() const
{
    return m_window->findChild<ItemGrid *>(QStringLiteral("DataGrid1"));
}

QToolButton *WindowDriver::button(const char *name) const
{
    return m_window->findChild<QToolButton *>(QLatin1StringView(name));
}

PickList *WindowDriver::pickList(const char *name) const
{
    return m_window->findChild<PickList *>(QLatin1StringView(name));
}

QString WindowDriver::rowButtons() const
{
    const auto state = [this](const char *name) {
        return button(name)->isEnabled() ? QStringLiteral("on") : QStringLiteral("off");
    };
    return QStringLiteral("Add %1, Update %2, Delete %3")
        .arg(state("cmdAdd"), state("cmdUpdate"), state("cmdDelete"));
}

QString WindowDriver::row(int index) const
{
    return describe(m_window->items().row(index));
}

QStringList WindowDriver::rows() const
{
    return describe(m_window->items());
}

QString WindowDriver::pickListState(const char *name) const
{
    const PickList *list = pickList(name);
    const QRect place = list->geometry();
    return QStringLiteral("%1 [%2] at (%3, %4) %5x%6")
        .arg(list->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"),
            entries(list).join(QStringLiteral(", ")))
        .arg(place.x())
        .arg(place.y())
        .arg(place.width())
        .arg(place.height());
}

QString WindowDriver::pickListAlignment() const
{
    const ItemGrid *view = grid();
    QStringList edges;
    const std::pair<const char *, int> lists[]
        = {{"lstGroups", 1}, {"lstStore", 4}, {"lstItemType", 3}, {"lstAisleNo", 5}};
    for (const auto &[name, column] : lists) {
        const int columnRight
            = view->viewport()
                  ->mapTo(m_window.get(),
                      QPoint(view->columnViewportPosition(column) + view->columnWidth(column), 0))
                  .x();
        edges.append(
            QStringLiteral("%1/%2").arg(pickList(name)->geometry().right() + 1).arg(columnRight));
    }
    return edges.join(u' ');
}

bool hasRedPixels(const QImage &image, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.red() > 160 && colour.green() < 60 && colour.blue() < 60)
                return true;
        }
    }
    return false;
}

QString WindowDriver::cellMark(int row, int column)
{
    ItemGrid *view = grid();
    const QModelIndex cell = view->model()->index(row, column);
    if (!cell.isValid())
        return QStringLiteral("no such cell");
    view->scrollTo(cell);
    QWidget *shown = view->viewport();
    QRect area = view->visualRect(cell);
    if (view->isEditing() && view->currentIndex() == cell) {
        for (auto *editor : view->viewport()->findChildren<QLineEdit *>()) {
            if (editor->isVisible())
                shown = editor;
        }
        area = shown->rect();
    }
    const QImage picture = shown->grab(area).toImage();
    constexpr int Corner = 4;
    const bool red = hasRedPixels(picture, QRect(picture.width() - Corner, 0, Corner, Corner));
    QHelpEvent hover(QEvent::ToolTip, area.center(), shown->mapToGlobal(area.center()));
    QApplication::sendEvent(shown, &hover);
    const QString toolTip = QToolTip::isVisible() ? QToolTip::text() : QString();
    // A tooltip fades out after it is hidden; the next cell's must not be mistaken for it.
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        return QStringLiteral("a tooltip that stays: ") + toolTip;
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(view);
    const QString spoken
        = table->tableInterface()->cellAt(row, column)->text(QAccessible::Description);
    if (red && !toolTip.isEmpty() && spoken == toolTip)
        return QStringLiteral("marked: ") + toolTip;
    if (!red && toolTip.isEmpty() && spoken.isEmpty())
        return QStringLiteral("unmarked");
    return QStringLiteral("red corner: %1, tooltip: %2, description: %3")
        .arg(red ? "yes" : "no", toolTip, spoken);
}

QString WindowDriver::currentCell() const
{
    const QModelIndex cell = grid()->currentIndex();
    return cell.isValid() ? QStringLiteral("(%1, %2)").arg(cell.row()).arg(cell.column())
                          : QStringLiteral("none");
}

void WindowDriver::clickCell(int row, int column)
{
    ItemGrid *view = grid();
    const QModelIndex cell = view->model()->index(row, column);
    view->scrollTo(cell);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
}

void WindowDriver::type(const QString &text)
{
    for (const QChar character : text) {
        QWidget *target = QApplication::focusWidget();
        QTest::keyClicks(target ? target : grid(), QString(character));
    }
}

void WindowDriver::keys(QStringView script)
{
    for (qsizetype i = 0; i < script.size(); ++i) {
        QWidget *target = QApplication::activePopupWidget();
        if (!target)
            target = QApplication::focusWidget() ? QApplication::focusWidget() : grid();
        const qsizetype close = script[i] == u'{' ? script.indexOf(u'}', i) : -1;
        if (close < 0) {
            QTest::keyClicks(target, script.sliced(i, 1).toString());
            continue;
        }
        const QStringView token = script.sliced(i + 1, close - i - 1);
        i = close;
        if (token.startsWith(u"click ")) {
            click(token.sliced(6).toLatin1().constData());
            continue;
        }
        const QKeyCombination key = QKeySequence(token.toString())[0];
        // QTest gives only ASCII keys their text; a key such as € types its own character.
        const auto character = char32_t(key.key());
        if (character > 0x7f && character < Qt::Key_Escape) {
            QTest::sendKeyEvent(QTest::Click, target, key.key(), QString::fromUcs4(&character, 1),
                key.keyboardModifiers());
            continue;
        }
        QTest::keyClick(target, key.key(), key.keyboardModifiers());
    }
}

void WindowDriver::typeAsOneValue(const QString &text)
{
    if (text.size() < 2 || !QStringLiteral("IWViwv").contains(text.front())) {
        type(text);
        return;
    }
    type(text.mid(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    type(text.left(1));
}

void WindowDriver::typeInto(int row, int column, const QString &text)
{
    clickCell(row, column);
    type(text);
}

void WindowDriver::click(const char *buttonName)
{
    QTest::mouseClick(button(buttonName), Qt::LeftButton);
}

void WindowDriver::altKey(Qt::Key key)
{
    // An access key clicks its button with a short animation, so the click comes later.
    QToolButton *pressed = nullptr;
    for (QToolButton *candidate : m_window->findChildren<QToolButton *>()) {
        if (candidate->shortcut() == QKeySequence(Qt::AltModifier | key))
            pressed = candidate;
    }
    const bool enabled = pressed && pressed->isEnabled();
    QSignalSpy clicked(pressed, &QToolButton::clicked);
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : m_window.get(), key, Qt::AltModifier);
    // A disabled button takes no click, so there is nothing to wait for.
    if (enabled && clicked.isEmpty())
        clicked.wait(2000);
}
