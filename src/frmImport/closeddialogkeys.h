#pragma once

#include <QObject>

#include <memory>
#include <vector>

class QKeyEvent;
class QWidget;

// Keys typed at full speed right after the key that closes a dialog reach the window system
// before the program has taken the dialog away, and it sends them where the keyboard was: to
// the dialog's window or its completion list. Qt would hand them to the hidden dialog, and the
// user's next Tab or letter would be lost. Watching the whole application, this takes every
// key sent to a window of a closed dialog and gives it to the window's focus widget instead, as
// a key typed there, access keys and shortcuts included: at once, or, while a command is still
// running, when it has finished, so that the keys act where the command left the cursor.
class ClosedDialogKeys : public QObject
{
public:
    explicit ClosedDialogKeys(QWidget *window);
    ~ClosedDialogKeys() override;

    // From the first hold() to the last release(), a command runs: the keys wait for its end.
    void hold() { ++m_holds; }
    void release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isOfClosedDialog(QObject *watched) const;
    void deliver(const QKeyEvent &key);

    QWidget *m_window;
    int m_holds = 0;
    std::vector<std::unique_ptr<QKeyEvent>> m_held;
};
