#include "shadow/message_interceptor.h"

#include "platform/runtime.h"
#include "platform/window_system.h"

#include <algorithm>

namespace shadow {

MessageInterceptor::MessageInterceptor(QString ownerClassName, SubclassCallback* owner)
    : m_className(std::move(ownerClassName)), m_owner(owner) {}

MessageInterceptor::~MessageInterceptor() { sc_UnSubclassAll(); }

QString MessageInterceptor::RegistryKey(WId window) {
    return QStringLiteral("h") + QString::number(window);
}

std::vector<MessageInterceptor::Entry>::iterator MessageInterceptor::find(const QString& key) {
    return std::find_if(m_registry.begin(), m_registry.end(),
                        [&key](const Entry& entry) { return entry.first == key; });
}

bool MessageInterceptor::sc_Subclass(WId window, std::int32_t userValue, SubclassCallback* owner) {
    QWidget* widget = window ? QWidget::find(window) : nullptr;
    if (!widget) {
        zReportError(QStringLiteral("sc_Subclass"),
                     platform::IsForeignWindow(window)
                         ? QStringLiteral("Window handle belongs to another process")
                         : QStringLiteral("Invalid window handle"));
        return false;
    }
    if (!owner) owner = m_owner;
    if (!owner) {
        zReportError(QStringLiteral("sc_Subclass"), QStringLiteral("Callback method not found"));
        return false;
    }
    if (!m_registryExists) {
        m_registry.clear();
        m_registryExists = true;
        WatchDisplayChanges();
    }
    const QString key = RegistryKey(window);
    auto existing = find(key);
    if (existing != m_registry.end()) {
        // A record that went with its window leaves a stale key behind; a new
        // window that was given the same id may be intercepted again.
        if (existing->second) {
            zReportError(QStringLiteral("sc_Subclass"),
                         QStringLiteral("Window handle is already subclassed"));
            return false;
        }
        m_registry.erase(existing);
    }
    auto* record = new InterceptionRecord(widget, window, owner, userValue);
    m_registry.emplace_back(key, record);
    m_current = record;
    return true;
}

void MessageInterceptor::sc_AddWatch(WId window, std::int32_t message, std::int32_t when) {
    if (!zMap_hWnd(window)) return;
    if (when & MSG_BEFORE) zAddMsg(message, MessageTableKind::Before);
    if (when & MSG_AFTER) zAddMsg(message, MessageTableKind::After);
}

void MessageInterceptor::sc_UnSubclass(WId window) {
    if (!m_registryExists) {
        zReportError(QStringLiteral("sc_UnSubclass"), QStringLiteral("Window handle isn't subclassed"));
        return;
    }
    InterceptionRecord* record = zMap_hWnd(window);
    if (record) {
        zDelMsg(ALL_MESSAGES, MessageTableKind::Before);
        zDelMsg(ALL_MESSAGES, MessageTableKind::After);
    }
    auto entry = find(RegistryKey(window));
    if (entry != m_registry.end()) m_registry.erase(entry);
    if (record) record->Release();
}

void MessageInterceptor::sc_UnSubclassAll() {
    if (!m_registryExists) return;
    for (auto entry = m_registry.size(); entry-- > 0;) {
        if (entry >= m_registry.size()) continue;
        if (const InterceptionRecord* record = m_registry[entry].second) {
            sc_UnSubclass(record->windowId());
        }
    }
    m_registry.clear();
    m_registryExists = false;
    m_current = nullptr;
}

InterceptionRecord* MessageInterceptor::zMap_hWnd(WId window) {
    if (!m_registryExists) {
        zReportError(QStringLiteral("zMap_hWnd"), QStringLiteral("Subclassing hasn't been started"));
        return nullptr;
    }
    auto entry = find(RegistryKey(window));
    if (entry == m_registry.end()) {
        zReportError(QStringLiteral("zMap_hWnd"), QStringLiteral("Window handle isn't subclassed"));
        return nullptr;
    }
    m_current = entry->second;
    return m_current;
}

void MessageInterceptor::zAddMsg(std::int32_t message, MessageTableKind table) {
    if (!m_current) return;
    MessageTable& target =
        table == MessageTableKind::Before ? m_current->beforeTable() : m_current->afterTable();
    if (target.Add(message) == MessageTable::AddResult::Full) {
        zReportError(QStringLiteral("zAddMsg"),
                     QStringLiteral("Message table overflow. Either increase the value of Const "
                                    "MSG_ENTRIES or use ALL_MESSAGES instead of specific message "
                                    "values"));
    }
}

void MessageInterceptor::zDelMsg(std::int32_t message, MessageTableKind table) {
    if (!m_current) return;
    MessageTable& target =
        table == MessageTableKind::Before ? m_current->beforeTable() : m_current->afterTable();
    target.Remove(message);
}

void MessageInterceptor::zReportError(const QString& routine, const QString& message) const {
    const QString where = m_className + QLatin1Char('.') + routine;
    platform::LogEvent(where + QStringLiteral(": ") + message);
    platform::MsgBox(message + QLatin1Char('.'), platform::vbExclamation | platform::vbOKOnly,
                     QStringLiteral("Error in ") + where);
}

}  // namespace shadow
