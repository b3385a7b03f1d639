// frmMain: the program's only visible window. Borderless and of fixed size,
// with the header band, five image buttons, the photo panel and a status
// line; it wires the buttons and the panel to the shell's commands.
#pragma once

#include "shadow/cls_shadow.h"
#include "shell/frm_menu.h"
#include "shell/loaded_forms.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QLabel;
class voButton;
class voExif;

class frmMain : public QWidget {
    Q_OBJECT
public:
    // Creating the window runs its load sequence.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    voButton* voButton1 = nullptr;  // open
    voButton* voButton2 = nullptr;  // save
    voButton* voButton3 = nullptr;  // menu
    voButton* voButton4 = nullptr;  // minimise
    voButton* voButton5 = nullptr;  // close
    voExif* voExif1 = nullptr;
    QLabel* Label1 = nullptr;  // status line
    QLabel* Label4 = nullptr;  // version

    QString lastPhotoPath() const { return lastPhotoPath_; }
    bool hasShadow() const { return shadowAttached_; }
    frmMenu* menuForm() const { return menuForm_; }

    // Shows the window centred on its screen.
    void ShowCentred();

    // The commands behind the buttons and the panel's SelectPhoto.
    void OpenCommand();
    void SaveCommand();
    void PopupMenu();

    // Where the menu's top right corner goes: (737, 20) of this window, on screen.
    QPoint MenuAnchor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void QueryUnload();

    shell::LoadedForm loaded_{this};
    clsShadow windowShadow;
    bool shadowAttached_ = false;
    QString lastPhotoPath_;
    QPixmap headerBand_;
    QPointer<frmMenu> menuForm_;
    // Dragging by hand where the window system cannot move the window itself.
    bool dragging_ = false;
    QPoint dragOffset_;
};
