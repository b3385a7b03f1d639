// The main window's menu: one item, the About box.
#pragma once

#include <QMenu>

class QAction;

namespace viewer {

class MainMenu : public QMenu {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);

    QAction* aboutAction() const { return aboutAction_; }

    // Pops up with its top right corner at `topRight` (screen pixels) and
    // returns when it closes, by a choice or a click elsewhere.
    void popUpRightAligned(const QPoint& topRight);

private:
    void showAbout();

    QAction* aboutAction_;
};

}  // namespace viewer
