// frmMain: the program's only visible window. Borderless and of fixed size,
// with the header band, five image buttons, the photo panel and a status
// line; it wires the buttons and the panel to the shell's commands.
#pragma once

#include "shadow/window_shadow.h"
#include "shell/folder_photos.h"
#include "shell/frm_menu.h"
#include "shell/loaded_forms.h"

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class voExif;
namespace viewer {
class ImageButton;
}

class frmMain : public QWidget {
    Q_OBJECT
public:
    // Creating the window runs its load sequence.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    viewer::ImageButton* voButton1 = nullptr;  // open
    viewer::ImageButton* voButton2 = nullptr;  // save
    viewer::ImageButton* voButton3 = nullptr;  // menu
    viewer::ImageButton* voButton4 = nullptr;  // minimise
    viewer::ImageButton* voButton5 = nullptr;  // close
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

    // Opens a path by the open command's rules (status line, panel, save
    // button, the same-path rule): the dialog's choice, the command line's
    // photo, a second start's photo, the folder keys' next photo.
    void OpenPath(const QString& path);
    // A second start handed over `path`, or nothing (empty): the window comes
    // to the front and opens it. While a dialog or a menu is open, the photo
    // waits until it closes.
    void TakeHandOver(const QString& path);
    // Shows the photo `step` places after (before, when negative) the current
    // one in its folder, wrapping at the ends.
    void ShowNeighbour(int step);
    const shell::FolderPhotos& folderPhotos() const { return folderPhotos_; }

    // Where the menu's top right corner goes: (737, 20) of this window, on screen.
    QPoint MenuAnchor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void QueryUnload();
    void BringToFront();
    void OpenHandedOverPhoto();

    shell::LoadedForm loaded_{this};
    viewer::WindowShadow windowShadow;
    bool shadowAttached_ = false;
    QString lastPhotoPath_;
    bool lastPathOpened_ = false;  // whether lastPhotoPath_ reached the screen
    // Where the folder keys step from: the path last opened through the shell,
    // or, once a photo has been dropped on the panel, empty (the panel's photo).
    QString stepFrom_;
    shell::FolderPhotos folderPhotos_;
    QString handedOver_;
    QTimer handOverRetry_;
    QPixmap headerBand_;
    QPointer<frmMenu> menuForm_;
    // Dragging by hand where the window system cannot move the window itself.
    bool dragging_ = false;
    QPoint dragOffset_;
};
