// The program's only visible window: borderless and of fixed size, with the
// header band, five image buttons, the photo panel and a status line; it
// wires the buttons and the panel to the commands.
#pragma once

#include "sandbox/decoder_client.h"
#include "shadow/window_shadow.h"
#include "shell/folder_photos.h"
#include "shell/main_menu.h"

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;

namespace viewer {

class ImageButton;
class LargeView;
class PhotoPanel;
class PreviewLoader;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Creating the window lays it out: shadow, size, title, version text,
    // buttons, panel, status line; the save button starts disabled. The
    // decoder worker the previews come from starts in the background
    // (`decoder` names another than the installed one, for tests).
    explicit MainWindow(QWidget* parent = nullptr);
    explicit MainWindow(const sandbox::DecoderClient::Options& decoder, QWidget* parent = nullptr);
    ~MainWindow() override;

    ImageButton* openButton() const { return openButton_; }
    ImageButton* saveButton() const { return saveButton_; }
    ImageButton* menuButton() const { return menuButton_; }
    ImageButton* minimiseButton() const { return minimiseButton_; }
    ImageButton* closeButton() const { return closeButton_; }
    PhotoPanel* panel() const { return panel_; }
    PreviewLoader* previews() const { return previews_; }
    // Whether the photo shown still waits to have its neighbours preloaded.
    bool preloadDue() const { return preloadDelay_.isActive(); }
    // "相册数量：0" until a photo is chosen, then the path last chosen.
    QLabel* statusLabel() const { return statusLabel_; }
    QLabel* versionLabel() const { return versionLabel_; }

    QString lastPhotoPath() const { return lastPhotoPath_; }
    bool hasShadow() const { return shadowAttached_; }
    // Made the first time it pops up; gone once the window closes.
    MainMenu* menu() const { return menu_; }

    // Shows the window centred on its screen.
    void showCentred();

    // The commands behind the buttons and the panel's request for a photo.
    void openCommand();
    void saveCommand();
    void popUpMenu();

    // Opens a path by the open command's rules (status line, panel, save
    // button, the same-path rule): the dialog's choice, the command line's
    // photo, a second start's photo, the folder keys' next photo.
    void openPath(const QString& path);
    // A second start handed over `path`, or nothing (empty): the window comes
    // to the front and opens it. While a dialog or a menu is open, the photo
    // waits until it closes.
    void takeHandOver(const QString& path);
    // Shows the photo `step` places after (before, when negative) the current
    // one in its folder, wrapping at the ends; returns its path, empty when
    // the folder has none.
    QString showNeighbour(int step);
    const FolderPhotos& folderPhotos() const { return folderPhotos_; }

    // Where the menu's top right corner goes: (737, 20) of this window, on screen.
    QPoint menuAnchor() const;

    // The photo on screen over the whole screen (a double-click on the
    // preview, or Enter); its arrow keys step through the folder here.
    void showLargeView();
    // Made the first time it is shown.
    LargeView* largeView() const { return largeView_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layOut();
    void previewSettled();
    // Once a photo is shown: its neighbours in the folder, the next one in
    // the direction of travel first, decoded in the background.
    void preloadNeighbours();
    void bringToFront();
    void openHandedOverPhoto();

    ImageButton* openButton_ = nullptr;
    ImageButton* saveButton_ = nullptr;
    ImageButton* menuButton_ = nullptr;
    ImageButton* minimiseButton_ = nullptr;
    ImageButton* closeButton_ = nullptr;
    PhotoPanel* panel_ = nullptr;
    PreviewLoader* previews_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;

    WindowShadow shadow_;
    bool shadowAttached_ = false;
    QString lastPhotoPath_;
    bool lastPathOpened_ = false;  // whether lastPhotoPath_ reached the screen
    // Where the folder keys step from: the path last opened through the
    // window, or, once a photo has been dropped on the panel, empty (the
    // panel's photo).
    QString stepFrom_;
    int travel_ = 1;  // the sign of the last step
    FolderPhotos folderPhotos_;
    QString handedOver_;
    QTimer handOverRetry_;
    QTimer preloadDelay_;
    QPixmap headerBand_;
    QPointer<MainMenu> menu_;
    LargeView* largeView_ = nullptr;
    // Dragging by hand where the window system cannot move the window itself.
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace viewer
