#include "panel/drop_refuser.h"

#include <QDropEvent>
#include <QWidget>

namespace viewer {

void DropRefuser::install(QWidget* widget) {
    widget->setAcceptDrops(true);
    widget->installEventFilter(new DropRefuser(widget));
}

bool DropRefuser::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter: {
        // Taking the drag, with no action, keeps it from reaching the parent
        // and shows the no-drop pointer.
        auto* enter = static_cast<QDragEnterEvent*>(event);
        enter->setDropAction(Qt::IgnoreAction);
        enter->accept();
        return true;
    }
    case QEvent::DragMove:
    case QEvent::Drop: event->ignore(); return true;
    default: return false;
    }
}

}  // namespace viewer
