#include "runtime.h"

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <cstdio>
#include <cstdlib>
#include <syslog.h>
#include <unistd.h>

namespace platform {
namespace {

std::function<int(const MessageBoxRequest&)>& MessageBoxHandler() {
    static std::function<int(const MessageBoxRequest&)> handler;
    return handler;
}

std::function<void(const QString&)>& EventLogHandler() {
    static std::function<void(const QString&)> handler;
    return handler;
}

std::function<void(int)>& EndHandler() {
    static std::function<void(int)> handler;
    return handler;
}

struct SystemColorRole {
    int index;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Index numbers of the classic system colours, mapped to the palette roles
// that play the same part in a Qt style.
constexpr SystemColorRole kSystemColors[] = {
    {0, QPalette::Active, QPalette::Mid},               // scroll bar
    {1, QPalette::Active, QPalette::Dark},              // desktop
    {2, QPalette::Active, QPalette::Highlight},         // active caption
    {3, QPalette::Inactive, QPalette::Highlight},       // inactive caption
    {4, QPalette::Active, QPalette::Window},            // menu
    {5, QPalette::Active, QPalette::Base},              // window
    {6, QPalette::Active, QPalette::Shadow},            // window frame
    {7, QPalette::Active, QPalette::WindowText},        // menu text
    {8, QPalette::Active, QPalette::Text},              // window text
    {9, QPalette::Active, QPalette::HighlightedText},   // caption text
    {10, QPalette::Active, QPalette::Button},           // active border
    {11, QPalette::Inactive, QPalette::Button},         // inactive border
    {12, QPalette::Active, QPalette::Mid},              // application workspace
    {13, QPalette::Active, QPalette::Highlight},        // highlight
    {14, QPalette::Active, QPalette::HighlightedText},  // highlight text
    {15, QPalette::Active, QPalette::Button},           // button face
    {16, QPalette::Active, QPalette::Dark},             // button shadow
    {17, QPalette::Disabled, QPalette::Text},           // grey text
    {18, QPalette::Active, QPalette::ButtonText},       // button text
    {19, QPalette::Inactive, QPalette::HighlightedText},// inactive caption text
    {20, QPalette::Active, QPalette::Light},            // button highlight
    {21, QPalette::Active, QPalette::Shadow},           // 3-D dark shadow
    {22, QPalette::Active, QPalette::Midlight},         // 3-D light
    {23, QPalette::Active, QPalette::ToolTipText},      // tooltip text
    {24, QPalette::Active, QPalette::ToolTipBase},      // tooltip background
    {26, QPalette::Active, QPalette::Link},             // hot-tracked item
    {27, QPalette::Active, QPalette::Highlight},        // active caption gradient
    {28, QPalette::Inactive, QPalette::Highlight},      // inactive caption gradient
    {29, QPalette::Active, QPalette::Highlight},        // menu highlight
    {30, QPalette::Active, QPalette::Window},           // menu bar
};

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

}  // namespace

QString AppTitle() { return QStringLiteral("EXIF 信息查看器"); }

int MsgBox(const QString& text, int style, const QString& caption, QWidget* owner) {
    MessageBoxRequest request{text, style, caption.isEmpty() ? AppTitle() : caption};
    if (MessageBoxHandler()) return MessageBoxHandler()(request);

    QMessageBox box(IconOf(style), request.caption, request.text, QMessageBox::NoButton, owner);
    switch (style & 0x0F) {
    case vbOKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case vbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return vbCancel;
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    default: return vbOK;
    }
}

void SetMessageBoxHandler(std::function<int(const MessageBoxRequest&)> handler) {
    MessageBoxHandler() = std::move(handler);
}

void LogEvent(const QString& text) {
    if (EventLogHandler()) {
        EventLogHandler()(text);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    syslog(LOG_USER | LOG_ERR, "%s", utf8.constData());
}

void SetEventLogHandler(std::function<void(const QString&)> handler) {
    EventLogHandler() = std::move(handler);
}

bool IsSystemColor(std::uint32_t oleColor) { return (oleColor & kSystemColorFlag) != 0; }

std::uint32_t ResolveColor(std::uint32_t oleColor) {
    if (!IsSystemColor(oleColor)) return oleColor & 0x00FFFFFFu;
    const int index = static_cast<int>(oleColor & 0xFFu);
    const QPalette palette = QGuiApplication::palette();
    for (const SystemColorRole& entry : kSystemColors) {
        if (entry.index == index) return FromQColor(palette.color(entry.group, entry.role));
    }
    return 0;  // an unknown index reads as black, as the platform answers
}

QColor ToQColor(std::uint32_t oleColor) {
    const std::uint32_t rgb = ResolveColor(oleColor);
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

std::uint32_t FromQColor(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

void EndProgram(int exitCode) {
    if (EndHandler()) {
        EndHandler()(exitCode);
        return;
    }
    std::fflush(nullptr);
    _exit(exitCode);
}

void SetEndProgramHandler(std::function<void(int)> handler) { EndHandler() = std::move(handler); }

}  // namespace platform
