// Lets an owner see the messages of its process's windows before and/or
// after the windows handle them. Each intercepted window gets a record (an
// event filter) kept in the owner's registry under "h" + the window's id.
#pragma once

#include "shadow/interception_record.h"

#include <QPointer>
#include <QString>
#include <utility>
#include <vector>

namespace shadow {

enum class MessageTableKind { Before, After };

class MessageInterceptor {
public:
    // `ownerClassName` names the owner in error reports ("clsShadow");
    // `owner` is called back unless sc_Subclass names another.
    MessageInterceptor(QString ownerClassName, SubclassCallback* owner);
    ~MessageInterceptor();  // ends every interception still running
    MessageInterceptor(const MessageInterceptor&) = delete;
    MessageInterceptor& operator=(const MessageInterceptor&) = delete;

    // Starts intercepting the window with this id (its winId()); nothing is
    // watched yet. Makes the new record current.
    bool sc_Subclass(WId window, std::int32_t userValue = 0, SubclassCallback* owner = nullptr);
    // `when`: MSG_BEFORE, MSG_AFTER or both.
    void sc_AddWatch(WId window, std::int32_t message, std::int32_t when = MSG_AFTER);
    // No more callbacks; the record goes once no message passes through it.
    void sc_UnSubclass(WId window);
    void sc_UnSubclassAll();

    // The window's record, made current; null (after a report) when the
    // window is not intercepted.
    InterceptionRecord* zMap_hWnd(WId window);
    // Work on the current record. ALL_MESSAGES watches or clears everything.
    void zAddMsg(std::int32_t message, MessageTableKind table);
    void zDelMsg(std::int32_t message, MessageTableKind table);
    // One event-log entry and a warning box naming the owner and the routine.
    void zReportError(const QString& routine, const QString& message) const;

    static QString RegistryKey(WId window);

private:
    using Entry = std::pair<QString, QPointer<InterceptionRecord>>;
    std::vector<Entry>::iterator find(const QString& key);

    QString m_className;
    SubclassCallback* m_owner;
    bool m_registryExists = false;
    std::vector<Entry> m_registry;  // in the order the windows were added
    QPointer<InterceptionRecord> m_current;
};

}  // namespace shadow
