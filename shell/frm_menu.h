// frmMenu: a form that is never shown; it only owns the main window's menu.
#pragma once

#include "shell/loaded_forms.h"

#include <QWidget>

class QAction;
class QMenu;

class frmMenu : public QWidget {
    Q_OBJECT
public:
    frmMenu();

    QMenu* Menu1() const { return menu1_; }
    QAction* MenuAbout() const { return menuAbout_; }

    // Pops up the menu with its top right corner at `topRight` (screen
    // pixels) and returns when it closes, by a choice or a click elsewhere.
    void PopupRightAligned(const QPoint& topRight);

private:
    void ShowAbout();

    shell::LoadedForm loaded_{this};
    QMenu* menu1_;
    QAction* menuAbout_;
};
