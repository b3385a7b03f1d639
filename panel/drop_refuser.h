// Makes a child of a drop target refuse drops itself. Without it Qt hands a
// drop that a child ignores on to its parent, so a file let go over the list
// viewport or the scroll bar would open in the panel beneath.
#pragma once

#include <QObject>

class QWidget;

namespace viewer {

class DropRefuser : public QObject {
    Q_OBJECT

public:
    // Installs a refuser owned by `widget` and lets it receive drag events.
    static void install(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

}  // namespace viewer
