// One intercepted window: its two message tables, the owner's callback, and
// the bookkeeping that keeps the record alive while a message passes through it.
#pragma once

#include "shadow/window_messages.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>

namespace shadow {

constexpr std::int32_t ALL_MESSAGES = -1;
constexpr int MSG_ENTRIES = 32;

// When a watched message reaches the owner: bits of sc_AddWatch's `when`.
constexpr std::int32_t MSG_BEFORE = 1;
constexpr std::int32_t MSG_AFTER = 2;

// The owner's side of an interception. `before` is true for a call ahead of
// the window's own handling; setting `handled` there keeps the message from
// the window and hands `result` to the sender. After calls ignore `handled`.
class SubclassCallback {
public:
    virtual ~SubclassCallback() = default;
    virtual void WindowProc(bool before, bool& handled, LResult& result, WId window,
                            std::uint32_t message, WParam wParam, LParam lParam,
                            std::int32_t& userValue) = 0;
};

// Count 0 watches nothing, ALL_MESSAGES every message; 1 to MSG_ENTRIES is the
// number of slots in use, where a slot holding 0 is free for reuse.
struct MessageTable {
    std::int32_t count = 0;
    std::array<std::int32_t, MSG_ENTRIES> entries{};  // entries[0] is slot 1

    enum class AddResult { Added, AlreadyWatched, Full };

    bool Watches(std::uint32_t message) const;
    AddResult Add(std::int32_t message);
    void Remove(std::int32_t message);  // ALL_MESSAGES empties the table
};

class InterceptionRecord : public QObject {
    Q_OBJECT
public:
    InterceptionRecord(QWidget* window, WId windowId, SubclassCallback* callback,
                       std::int32_t userValue);

    WId windowId() const { return m_windowId; }
    MessageTable& beforeTable() { return m_before; }
    MessageTable& afterTable() { return m_after; }
    bool releaseRequested() const { return m_released; }
    // Calls of the window's own handling running through this record.
    int nestingDepth() const { return m_depth; }

    // Ends the interception: no more callbacks, and the record deletes itself
    // as soon as no message is passing through it (at once when none is).
    void Release();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void windowDestroyed();
    void freeRecord();

    QPointer<QWidget> m_window;
    WId m_windowId;
    SubclassCallback* m_callback;
    std::int32_t m_userValue;
    MessageTable m_before;
    MessageTable m_after;
    bool m_released = false;
    int m_depth = 0;
    int m_frames = 0;  // eventFilter calls of this record on the stack
};

}  // namespace shadow
