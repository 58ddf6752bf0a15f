#pragma once

// Every message box of the program goes through here, so that a test (or a
// script driving the windows) can take the messages instead of a modal box.

#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace relan::gui {

// caption, text; empty caption = the window's own title
using MessageHook = std::function<void(const QString& caption, const QString& text)>;
void setMessageHook(MessageHook hook);

void showError(QWidget* parent, const QString& caption, const QString& text);
// A relan::Error with its caption, or any other exception with its text.
void showException(QWidget* parent, const std::exception& e);

// A question with the answers "Да" and "Нет", "Нет" the default (Enter and
// Escape keep things as they are): true when the answer is "Да". Modal; a
// test answers it through QApplication::activeModalWidget().
bool askYesNo(QWidget* parent, const QString& caption, const QString& text);

// Runs a handler body; whatever it throws ends the action with a message.
template <class F> bool guarded(QWidget* parent, F&& body) {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        showException(parent, e);
    }
    return false;
}

} // namespace relan::gui
