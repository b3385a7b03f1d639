// What the forms and controls need from the windowing runtime beyond Qt's own
// widgets: message boxes with the application's caption, the event log,
// system colours, ending the program. Each has a seam so tests can watch it
// instead of blocking on a modal box or ending the test run.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace platform {

// The product title: caption of message boxes that give none, and of the main window.
QString AppTitle();

// Message box styles and results, numbered as the classic runtime numbers them.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

struct MessageBoxRequest {
    QString text;
    int style = vbOKOnly;
    QString caption;  // already resolved: the application's title when none was given
};

// Shows a modal box; an empty caption means the application's title.
int MsgBox(const QString& text, int style = vbOKOnly, const QString& caption = QString(),
           QWidget* owner = nullptr);
// Tests replace the box: the handler gets each request and returns the result.
void SetMessageBoxHandler(std::function<int(const MessageBoxRequest&)> handler);

// One error entry in the application event log (syslog, priority LOG_ERR).
void LogEvent(const QString& text);
void SetEventLogHandler(std::function<void(const QString&)> handler);

// OLE colours: 0x00BBGGRR, or &H80000000& plus a system colour index.
constexpr std::uint32_t kSystemColorFlag = 0x80000000u;
bool IsSystemColor(std::uint32_t oleColor);
// The RGB value (0x00BBGGRR) of an OLE colour; system colours resolve through
// the application's palette.
std::uint32_t ResolveColor(std::uint32_t oleColor);
QColor ToQColor(std::uint32_t oleColor);
std::uint32_t FromQColor(const QColor& color);

// Ends the program at once: no further handler runs.
void EndProgram(int exitCode = 0);
// Tests replace the ending: with a handler, EndProgram calls it and returns
// (or the handler throws, where no event handler is in between).
void SetEndProgramHandler(std::function<void(int)> handler);

}  // namespace platform
