// What the program tells the user outside its own window: modal message
// boxes captioned with the application's title, the error log, and the end
// of the program. Each has a seam, so tests watch it instead of blocking on
// a modal box or ending the test run.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

// The product title: the main window's name on the desktop, and the caption
// of a message box that gives none.
QString appTitle();

enum class MessageIcon { None, Information, Warning, Critical };

struct Message {
    QString text;
    MessageIcon icon = MessageIcon::None;
    QString caption;  // already resolved: the application's title when none was given
};

// A modal box with an OK button; returns when the user closes it.
void showMessage(const QString& text, MessageIcon icon, const QString& caption = QString(),
                 QWidget* owner = nullptr);
// Tests take the boxes: the handler gets each one instead of the user.
void setMessageHandler(std::function<void(const Message&)> handler);

// One error entry in the system log (syslog, priority LOG_ERR).
void logError(const QString& text);
void setErrorLogHandler(std::function<void(const QString&)> handler);

// Ends the program at once: no further handler runs, no window is asked.
void endProgram(int exitCode = 0);
// Tests replace the ending: with a handler, endProgram calls it and returns
// (or the handler throws, where no event handler is in between).
void setEndProgramHandler(std::function<void(int)> handler);

// What the program does when it cannot go on: a critical box with `text`
// under `caption`, then the end with a failing status.
void endWithMessage(const QString& text, const QString& caption);

}  // namespace platform
