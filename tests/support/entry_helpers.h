// Entering values into the module's controls as a user does, for the window tests.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <string>

class TPellowComboBox;
class TPellowEdit;

namespace testhost {

// Picks an item with the arrow keys, so that the change events fire; fails the test when the
// combo box has no such item.
void Choose(TPellowComboBox* combo, const std::string& text);
// Replaces the edit's text by typing the keys; an empty text is typed as a backspace.
void TypeInto(TPellowEdit* edit, const char* keys);
// The number of the last recorded message, 0 when none.
int LastMessageNumber();

// Runs a command that opens a modal window of type T; body acts on it, and the window is
// closed afterwards whatever body did, as rejected but without asking about unsaved entries.
// Returns whether such a window opened.
template <typename T>
bool WithModal(const std::function<void()>& command, const std::function<void(T*)>& body) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window) return;
        opened = true;
        QPointer<T> guard(window);
        body(window);
        if (guard && guard->isVisible()) guard->done(QDialog::Rejected);
    });
    command();
    QCoreApplication::processEvents();
    return opened;
}

// Runs a command; the first modal window of type T it opens goes to answer, even one opened
// after a waiting window that already runs the event loop. Returns whether one opened.
template <typename T>
bool AnswerModal(const std::function<void(T*)>& answer, const std::function<void()>& command) {
    bool opened = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window) return;
        poll.stop();
        opened = true;
        answer(window);
    });
    poll.start();
    command();
    return opened;
}

// Runs a command that asks for a file, typing path into its file dialog and accepting it; until
// the dialog has closed, a warning it shows is closed and the choice made again.
inline bool ChooseFile(const QString& path, const std::function<void()>& command) {
    QPointer<QFileDialog> answered;
    bool opened = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!opened) {
            answered = qobject_cast<QFileDialog*>(modal);
            if (!answered) return;
            opened = true;
        } else if (!answered || !answered->isVisible()) {
            poll.stop();
            return;
        } else if (modal != answered) {
            if (auto* warning = qobject_cast<QDialog*>(modal)) warning->done(QDialog::Rejected);
            return;
        }
        answered->setOption(QFileDialog::DontConfirmOverwrite);
        answered->selectFile(path);
        // selectFile leaves the name field alone once it has the focus, and an empty field
        // makes accept do nothing: the path is typed there as a user would.
        auto* name = answered->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) name = answered->findChild<QLineEdit*>();
        if (name) name->setText(path);
        static_cast<QDialog*>(answered.data())->accept();  // the file dialog's own accept, public in QDialog
    });
    poll.start();
    command();
    return opened;
}

}  // namespace testhost
