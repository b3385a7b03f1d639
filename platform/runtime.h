// The earlier names of messages.h and colours.h, kept only for controls/ and shadow/
// (and their tests) until they call the new ones; it goes when they no longer do.
#pragma once

#include "platform/colours.h"
#include "platform/messages.h"

#include <functional>

namespace platform {

enum MsgBoxStyle : int { vbOKOnly = 0, vbCritical = 16, vbExclamation = 48, vbInformation = 64 };
enum MsgBoxResult : int { vbOK = 1 };
struct MessageBoxRequest {
    QString text;
    int style = vbOKOnly;
    QString caption;
};
inline constexpr int kStyleByIcon[] = {vbOKOnly, vbInformation, vbExclamation, vbCritical};  // by MessageIcon

inline int MsgBox(const QString& text, int style = vbOKOnly, const QString& caption = {}, QWidget* owner = nullptr) {
    int icon = 0;
    while (icon < 3 && kStyleByIcon[icon] != (style & 0x70)) ++icon;
    showMessage(text, static_cast<MessageIcon>(kStyleByIcon[icon] == (style & 0x70) ? icon : 0), caption, owner);
    return vbOK;
}
inline void SetMessageBoxHandler(std::function<int(const MessageBoxRequest&)> handler) {
    if (!handler) return setMessageHandler(nullptr);
    setMessageHandler([handler](const Message& m) { handler({m.text, kStyleByIcon[static_cast<int>(m.icon)], m.caption}); });
}
inline void LogEvent(const QString& text) { logError(text); }
inline void SetEventLogHandler(std::function<void(const QString&)> handler) { setErrorLogHandler(std::move(handler)); }
inline constexpr std::uint32_t kSystemColorFlag = kSystemColourFlag;
inline bool IsSystemColor(std::uint32_t colour) { return isSystemColour(colour); }
inline std::uint32_t ResolveColor(std::uint32_t colour) { return resolveColour(colour); }
inline QColor ToQColor(std::uint32_t colour) { return toQColor(colour); }

}  // namespace platform
