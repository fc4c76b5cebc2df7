#include "closeddialogkeys.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace {

// A key as the user typed it: sent, not spontaneous, Qt tries the shortcuts first, as for a
// key from the window system.
std::unique_ptr<QKeyEvent> copyOf(const QKeyEvent &key)
{
    return std::make_unique<QKeyEvent>(key.type(), key.key(), key.modifiers(), key.nativeScanCode(),
        key.nativeVirtualKey(), key.nativeModifiers(), key.text(), key.isAutoRepeat(), key.count());
}

} // namespace

ClosedDialogKeys::ClosedDialogKeys(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

ClosedDialogKeys::~ClosedDialogKeys() = default;

void ClosedDialogKeys::release()
{
    if (--m_holds > 0)
        return;
    // A key may run a command that holds again: it takes the keys after it along.
    while (!m_held.empty() && m_holds == 0) {
        const std::unique_ptr<QKeyEvent> key = std::move(m_held.front());
        m_held.erase(m_held.begin());
        deliver(*key);
    }
}

bool ClosedDialogKeys::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        || !isOfClosedDialog(watched))
        return false;
    const auto &key = *static_cast<QKeyEvent *>(event);
    if (m_holds > 0)
        m_held.push_back(copyOf(key));
    else
        deliver(key);
    return true;
}

// The window system's keys come to a top-level window first, and from there to its focus
// widget; only the first step is looked at.
bool ClosedDialogKeys::isOfClosedDialog(QObject *watched) const
{
    const auto *window = qobject_cast<QWindow *>(watched);
    if (window == nullptr || window == m_window->windowHandle())
        return false;
    QWidget *widget = nullptr;
    for (QWidget *topLevel : QApplication::topLevelWidgets()) {
        if (topLevel->windowHandle() == window)
            widget = topLevel;
    }
    if (widget == nullptr)
        return false;
    // A completion list belongs to the dialog whose field it completes; it may still be shown
    // when its dialog has closed, and it may hide while its dialog is open and still pass on
    // the keys sent to it.
    const QList<QCompleter *> completers = m_window->findChildren<QCompleter *>();
    for (const QCompleter *completer : completers) {
        if (completer->popup() == widget && completer->widget() != nullptr)
            widget = completer->widget()->window();
    }
    return !widget->isVisible();
}

// To the dialog that has come up since, or to the window.
void ClosedDialogKeys::deliver(const QKeyEvent &key)
{
    QWidget *owner = QApplication::activeModalWidget();
    if (owner == nullptr)
        owner = m_window;
    QWidget *target = owner->focusWidget() != nullptr ? owner->focusWidget() : owner;
    const std::unique_ptr<QKeyEvent> typed = copyOf(key);
    QCoreApplication::sendEvent(target, typed.get());
}
