#include "shadow/interception_record.h"

namespace shadow {

bool MessageTable::Watches(std::uint32_t message) const {
    if (count == ALL_MESSAGES) return true;
    const auto wanted = static_cast<std::int32_t>(message);
    for (int i = 0; i < count && i < MSG_ENTRIES; ++i) {
        if (entries[i] != 0 && entries[i] == wanted) return true;
    }
    return false;
}

MessageTable::AddResult MessageTable::Add(std::int32_t message) {
    if (message == ALL_MESSAGES) {
        count = ALL_MESSAGES;
        return AddResult::Added;
    }
    // Watching everything already covers this message; turning the count into
    // 1 here would silently narrow the table to a single message.
    if (count == ALL_MESSAGES) return AddResult::AlreadyWatched;
    int freeSlot = -1;
    for (int i = 0; i < count && i < MSG_ENTRIES; ++i) {
        if (entries[i] == message) return AddResult::AlreadyWatched;
        if (entries[i] == 0 && freeSlot < 0) freeSlot = i;
    }
    if (freeSlot >= 0) {
        entries[freeSlot] = message;
        return AddResult::Added;
    }
    if (count >= MSG_ENTRIES) return AddResult::Full;
    entries[count] = message;
    ++count;
    return AddResult::Added;
}

void MessageTable::Remove(std::int32_t message) {
    if (message == ALL_MESSAGES) {
        count = 0;
        return;
    }
    for (int i = 0; i < count && i < MSG_ENTRIES; ++i) {
        if (entries[i] == message) entries[i] = 0;
    }
}

InterceptionRecord::InterceptionRecord(QWidget* window, WId windowId, SubclassCallback* callback,
                                       std::int32_t userValue)
    : m_window(window), m_windowId(windowId), m_callback(callback), m_userValue(userValue) {
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, &InterceptionRecord::windowDestroyed);
}

void InterceptionRecord::Release() {
    m_released = true;
    m_before.Remove(ALL_MESSAGES);
    m_after.Remove(ALL_MESSAGES);
    if (m_frames == 0) freeRecord();
}

void InterceptionRecord::windowDestroyed() {
    m_released = true;
    if (m_frames == 0) freeRecord();
}

void InterceptionRecord::freeRecord() {
    if (m_window) m_window->removeEventFilter(this);
    delete this;
}

bool InterceptionRecord::eventFilter(QObject* watched, QEvent* event) {
    if (m_released || watched != m_window) return false;
    WindowMessage message;
    if (!TranslateEvent(m_window, event, message)) return false;
    const bool watchedBefore = m_before.Watches(message.message);
    if (!watchedBefore && !m_after.Watches(message.message)) return false;

    auto* sent = event->type() == WindowMessageEvent::eventType()
                     ? static_cast<WindowMessageEvent*>(event)
                     : nullptr;
    ++m_frames;
    bool handled = false;
    LResult result = 0;
    if (watchedBefore && m_callback) {
        m_callback->WindowProc(true, handled, result, m_windowId, message.message, message.wParam,
                               message.lParam, m_userValue);
    }
    bool consumed = handled;
    if (!handled && !m_released && m_window && m_after.Watches(message.message)) {
        // An after call must follow the window's own handling, so deliver the
        // event here instead of letting Qt do it once this filter returns.
        QObject* window = m_window;
        ++m_depth;
        window->event(event);
        --m_depth;
        consumed = true;
        if (sent) result = sent->result;
        if (!m_released && m_callback) {
            bool ignored = false;
            m_callback->WindowProc(false, ignored, result, m_windowId, message.message,
                                   message.wParam, message.lParam, m_userValue);
        }
    }
    if (consumed && sent) sent->result = result;
    --m_frames;
    // The record outlives every message still passing through it, nested
    // ones included; the outermost one frees it once release was asked for.
    if (m_frames == 0 && m_released) freeRecord();
    return consumed;
}

}  // namespace shadow
