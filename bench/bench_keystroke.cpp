// One keystroke in a Group cell: the whole cell-change handler with its pick list shown, for
// growing numbers of remembered groups.
#include "benchmain.h"

#include "frmimport.h"
#include "itemgrid.h"
#include "picklist.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Half the groups say "fresh", half "dried"; all of them say "Group".
std::unique_ptr<frmImport> windowRemembering(int groups)
{
    auto window = std::make_unique<frmImport>();
    window->show();
    QApplication::processEvents();
    ItemTable &table = window->items();
    for (int i = 0; i < groups; ++i) {
        table.setFieldValue(
            Column::Group, QStringLiteral("Group %1 %2").arg(i).arg(i % 2 ? "fresh" : "dried"));
        window->cmdUpdate_Click();
        if (!window->isAddingRow())
            window->cmdAdd_Click();
    }
    return window;
}

void keystroke(benchmark::State &state)
{
    const int groups = int(state.range(0));
    const QString typed = state.range(1) == 0 ? QStringLiteral("Group")
        : state.range(1) == 1                 ? QStringLiteral("fresh")
                                              : QStringLiteral("zzzzz");
    std::unique_ptr<frmImport> window = windowRemembering(groups);
    auto *grid = window->findChild<ItemGrid *>(QStringLiteral("DataGrid1"));
    auto *list = window->findChild<PickList *>(QStringLiteral("lstGroups"));
    grid->setCurrentIndex(window->items().index(window->items().currentRow(), 1));
    grid->QAbstractItemView::edit(grid->currentIndex());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    if (!editor) {
        state.SkipWithError("no cell editor");
        return;
    }
    const QString start = typed.chopped(1);
    const Qt::Key lastKey = Qt::Key(typed.back().toUpper().unicode());
    for (auto _ : state) {
        state.PauseTiming();
        editor->setText(start);
        state.ResumeTiming();
        QTest::keyClick(editor, lastKey, Qt::NoModifier);
        list->repaint();
    }
    const qsizetype expected = state.range(1) == 0 ? groups : state.range(1) == 1 ? groups / 2 : 0;
    const int entries = list->model()->rowCount();
    if (entries != expected)
        state.SkipWithError("wrong number of entries");
    state.counters["entries"] = double(entries);
    // One frame at 60 Hz for the longest lists; far less for lists of a few thousand.
    if (groups == 32768 && state.range(1) == 0)
        state.counters["goal_ms"] = 16;
    if (groups == 5000)
        state.counters["goal_ms"] = 2;
}

// One keystroke in a Group cell while the pick list shows one remembered value of a million
// characters.
void keystrokeWithOneLongValue(benchmark::State &state)
{
    auto window = std::make_unique<frmImport>();
    window->show();
    QApplication::processEvents();
    ItemTable &table = window->items();
    table.setFieldValue(Column::Group, QStringLiteral("Group ") + QString(1'000'000, u'x'));
    window->cmdUpdate_Click();
    if (!window->isAddingRow())
        window->cmdAdd_Click();
    auto *grid = window->findChild<ItemGrid *>(QStringLiteral("DataGrid1"));
    auto *list = window->findChild<PickList *>(QStringLiteral("lstGroups"));
    grid->setCurrentIndex(table.index(table.currentRow(), 1));
    grid->QAbstractItemView::edit(grid->currentIndex());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    if (!editor) {
        state.SkipWithError("no cell editor");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        editor->setText(QStringLiteral("Grou"));
        state.ResumeTiming();
        QTest::keyClick(editor, Qt::Key_P, Qt::NoModifier);
        list->repaint();
    }
    if (list->model()->rowCount() != 1 || !list->isVisible())
        state.SkipWithError("the list does not show the value");
    state.counters["goal_ms"] = 16;
}

} // namespace

BENCHMARK(keystrokeWithOneLongValue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(keystroke)
    ->ArgNames({"groups", "match"})
    ->ArgsProduct({{100, 5000, 32768}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
