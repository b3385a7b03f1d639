#include "platform/messages.h"

#include <QMessageBox>
#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace platform {
namespace {

std::function<void(const Message&)>& MessageHandler() {
    static std::function<void(const Message&)> handler;
    return handler;
}

std::function<void(const QString&)>& ErrorLogHandler() {
    static std::function<void(const QString&)> handler;
    return handler;
}

std::function<void(int)>& EndHandler() {
    static std::function<void(int)> handler;
    return handler;
}

// By MessageIcon.
constexpr QMessageBox::Icon kBoxIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                           QMessageBox::Warning, QMessageBox::Critical};

}  // namespace

QString appTitle() { return QStringLiteral("EXIF 信息查看器"); }

void showMessage(const QString& text, MessageIcon icon, const QString& caption, QWidget* owner) {
    const Message message{text, icon, caption.isEmpty() ? appTitle() : caption};
    if (MessageHandler()) {
        MessageHandler()(message);
        return;
    }
    QMessageBox box(kBoxIcons[static_cast<int>(icon)], message.caption, message.text,
                    QMessageBox::Ok, owner);
    box.exec();
}

void setMessageHandler(std::function<void(const Message&)> handler) {
    MessageHandler() = std::move(handler);
}

void logError(const QString& text) {
    if (ErrorLogHandler()) {
        ErrorLogHandler()(text);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    syslog(LOG_USER | LOG_ERR, "%s", utf8.constData());
}

void setErrorLogHandler(std::function<void(const QString&)> handler) {
    ErrorLogHandler() = std::move(handler);
}

void endProgram(int exitCode) {
    if (EndHandler()) {
        EndHandler()(exitCode);
        return;
    }
    std::fflush(nullptr);
    _exit(exitCode);
}

void setEndProgramHandler(std::function<void(int)> handler) { EndHandler() = std::move(handler); }

void endWithMessage(const QString& text, const QString& caption) {
    showMessage(text, MessageIcon::Critical, caption);
    endProgram(1);
}

}  // namespace platform
