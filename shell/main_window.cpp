#include "shell/main_window.h"

#include "controls/image_button.h"
#include "exif/report.h"
#include "largeview/large_view.h"
#include "panel/photo_panel.h"
#include "panel/preview_loader.h"
#include "platform/colours.h"
#include "platform/messages.h"
#include "platform/property_store.h"
#include "shell/file_dialogs.h"
#include "shell/text_export.h"
#include "shell/user_settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace viewer {
namespace {

constexpr std::uint32_t kWindowColour = 0x00007571u;  // red 113, green 117, blue 0
constexpr int kWidth = 737;
constexpr int kHeight = 528;
constexpr int kHandOverRetryMs = 200;
// How long a photo stays on screen before its neighbours are preloaded: a
// key held down moves on sooner, and its decodes then have both cores.
constexpr int kPreloadAfterMs = 40;

// A button with the design's values kept under its name.
ImageButton* MakeButton(QWidget* parent, const char* name) {
    auto* button = new ImageButton(parent);
    button->setObjectName(QLatin1String(name));
    button->readProperties(
        platform::designProperties(QStringLiteral("main_window"), button->objectName()));
    return button;
}

// White text on the window, which a press does not drag.
QLabel* MakeLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->adjustSize();
    return label;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(sandbox::DecoderClient::Options(), parent) {}

MainWindow::MainWindow(const sandbox::DecoderClient::Options& decoder, QWidget* parent)
    : QWidget(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/app_icon.png")));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, platform::toQColor(kWindowColour));
    setPalette(palette);
    setAutoFillBackground(true);
    headerBand_ = QPixmap(QStringLiteral(":/pictures/header.png"));

    openButton_ = MakeButton(this, "openButton");
    saveButton_ = MakeButton(this, "saveButton");
    menuButton_ = MakeButton(this, "menuButton");
    minimiseButton_ = MakeButton(this, "minimiseButton");
    closeButton_ = MakeButton(this, "closeButton");
    // Warm by the first photo: started now, ready in the background.
    previews_ = new PreviewLoader(decoder, this);
    previews_->start();
    panel_ = new PhotoPanel(this, previews_);
    panel_->setObjectName(QStringLiteral("photoPanel"));
    statusLabel_ = MakeLabel(this, QStringLiteral("相册数量：0"));
    versionLabel_ = MakeLabel(this, QString());
    statusLabel_->installEventFilter(this);
    versionLabel_->installEventFilter(this);
    // A drop opens a photo the window is not told of: the folder keys then step from it.
    panel_->installEventFilter(this);
    handOverRetry_.setSingleShot(true);
    handOverRetry_.setInterval(kHandOverRetryMs);
    connect(&handOverRetry_, &QTimer::timeout, this, &MainWindow::openHandedOverPhoto);
    preloadDelay_.setSingleShot(true);
    preloadDelay_.setInterval(kPreloadAfterMs);
    connect(&preloadDelay_, &QTimer::timeout, this, &MainWindow::preloadNeighbours);

    connect(openButton_, &ImageButton::clicked, this, &MainWindow::openCommand);
    connect(panel_, &PhotoPanel::photoRequested, this, &MainWindow::openCommand);
    connect(panel_, &PhotoPanel::previewSettled, this, &MainWindow::previewSettled);
    connect(panel_, &PhotoPanel::previewActivated, this, &MainWindow::showLargeView);
    connect(saveButton_, &ImageButton::clicked, this, &MainWindow::saveCommand);
    connect(menuButton_, &ImageButton::clicked, this, &MainWindow::popUpMenu);
    connect(minimiseButton_, &ImageButton::clicked, this,
            [this] { setWindowState(windowState() | Qt::WindowMinimized); });
    connect(closeButton_, &ImageButton::clicked, this, &MainWindow::close);

    layOut();
}

MainWindow::~MainWindow() { delete menu_; }

// Without a shadow (no compositor to blend it) the window works all the same.
void MainWindow::layOut() {
    shadowAttached_ = shadow_.attach(this);
    if (shadowAttached_) {
        shadow_.setDepth(7);
        shadow_.setColor(Qt::black);
        shadow_.setOpacity(50);
    }
    setFixedSize(kWidth, kHeight);
    setWindowTitle(platform::appTitle());
    versionLabel_->setText(
        QStringLiteral("%1.%2").arg(EXIFVIEWER_VERSION_MAJOR).arg(EXIFVIEWER_VERSION_MINOR));
    versionLabel_->adjustSize();
    versionLabel_->move(296, 40);
    openButton_->setGeometry(435, 0, 82, 80);
    saveButton_->setGeometry(520, 0, 82, 80);
    saveButton_->setEnabled(false);
    menuButton_->setGeometry(653, 0, 28, 20);
    minimiseButton_->setGeometry(681, 0, 28, 20);
    closeButton_->setGeometry(709, 0, 28, 20);
    panel_->setGeometry(0, 80, width(), 418);
    statusLabel_->move(12, 506);
}

void MainWindow::showCentred() {
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    }
    show();
}

void MainWindow::openCommand() {
    travel_ = 1;
    openPath(chooseImageFile(this, QString::fromStdString(panel_->photoFile())));
}

void MainWindow::openPath(const QString& path) {
    // Choosing the photo already opened again does nothing; a path whose open
    // failed (a photo still being copied) may be tried again.
    if (path.isEmpty() || (path == lastPhotoPath_ && lastPathOpened_)) return;
    preloadDelay_.stop();
    statusLabel_->setText(path);
    statusLabel_->adjustSize();
    lastPhotoPath_ = path;
    stepFrom_ = path;
    panel_->openPhoto(path);
    lastPathOpened_ = panel_->showsPhoto();
    saveButton_->setEnabled(true);
    if (lastPathOpened_) rememberFolder(QFileInfo(path).absolutePath());
    // Read while the user looks at the photo, ready for the first key press.
    folderPhotos_.prefetch(path);
}

// A file that turned out unreadable once its picture was asked for, or
// that is shown without its picture (a photo still being copied), may be
// chosen again.
void MainWindow::previewSettled() {
    if (lastPathOpened_ && (!panel_->showsPhoto() || !panel_->reason().isEmpty()))
        lastPathOpened_ = false;
    preloadDelay_.start();
}

void MainWindow::preloadNeighbours() {
    const QString from =
        stepFrom_.isEmpty() ? QString::fromStdString(panel_->photoFile()) : stepFrom_;
    if (from.isEmpty() || !panel_->showsPhoto()) return;
    // Not read yet: the key press waits for the reading, the preloads need not.
    if (!folderPhotos_.listed(from)) {
        folderPhotos_.prefetch(from);
        folderPhotos_.whenListed(this, [this, from] {
            if (from == stepFrom_ || from == QString::fromStdString(panel_->photoFile()))
                preloadNeighbours();
        });
        return;
    }
    QStringList paths;
    for (const int step : {travel_, -travel_, 2 * travel_}) {
        const QString path = folderPhotos_.neighbour(from, step);
        if (!path.isEmpty() && path != from && !paths.contains(path)) paths << path;
    }
    previews_->preload(paths, panel_->previewBox());
}

QString MainWindow::showNeighbour(int step) {
    const QString from =
        stepFrom_.isEmpty() ? QString::fromStdString(panel_->photoFile()) : stepFrom_;
    if (from.isEmpty()) return QString();
    const QString next = folderPhotos_.neighbour(from, step);
    if (next.isEmpty()) return QString();
    // The next step goes on from here even when the same-path rule keeps
    // this photo from opening again.
    stepFrom_ = next;
    travel_ = step < 0 ? -1 : 1;
    openPath(next);
    return next;
}

void MainWindow::showLargeView() {
    if (!panel_->showsPhoto()) return;
    if (!largeView_) {
        largeView_ = new LargeView(this);
        connect(largeView_, &LargeView::stepRequested, this, [this](int step) {
            const QString next = showNeighbour(step);
            if (!next.isEmpty()) largeView_->showPhoto(next);
        });
    }
    largeView_->showOver(this, QString::fromStdString(panel_->photoFile()));
}

void MainWindow::takeHandOver(const QString& path) {
    if (!path.isEmpty()) handedOver_ = path;
    bringToFront();
    openHandedOverPhoto();
}

void MainWindow::openHandedOverPhoto() {
    if (handedOver_.isEmpty()) return;
    // Not under an open dialog or menu: a save dialog would otherwise name
    // the report of one photo and write another's.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        handOverRetry_.start();
        return;
    }
    openPath(std::exchange(handedOver_, QString()));
}

void MainWindow::bringToFront() {
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

// Keys act on the window as a whole: no child takes the focus, so nothing
// draws a focus mark.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_O: openCommand(); return;
        case Qt::Key_S:
            if (saveButton_->isEnabled()) saveCommand();
            return;
        case Qt::Key_C: panel_->copyReport(); return;
        default: break;
        }
    } else if (modifiers == Qt::NoModifier) {
        if (panel_->scrollListKey(event->key())) return;
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Backspace: showNeighbour(-1); return;
        case Qt::Key_Right:
        case Qt::Key_Space: showNeighbour(1); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: showLargeView(); return;
        default: break;
        }
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::saveCommand() {
    // After a failed open the panel still holds the previous photo's list,
    // but the user sees none: there is nothing to save.
    if (!panel_->showsPhoto()) {
        platform::showMessage(QStringLiteral("当前没有可保存的图像信息"),
                              platform::MessageIcon::Information, QString(), this);
        return;
    }
    const QString path = chooseReportFile(this, QString::fromStdString(panel_->photoFile()));
    if (path.isEmpty()) return;

    setCursor(Qt::WaitCursor);
    std::vector<std::string> labels, values;
    panel_->exifData(labels, values);
    const std::string report =
        exif::BuildReport(panel_->photoName(), panel_->photoFile(), labels, values);
    QString error;
    const bool saved = writeReportFile(path, QByteArray::fromStdString(report), &error);
    unsetCursor();

    if (saved) {
        platform::showMessage(QStringLiteral("保存完毕"), platform::MessageIcon::Information,
                              QString(), this);
    } else {
        platform::showMessage(QStringLiteral("报告未能保存到“%1”：%2").arg(path, error),
                              platform::MessageIcon::Warning, QString(), this);
    }
}

QPoint MainWindow::menuAnchor() const { return mapToGlobal(QPoint(kWidth, menuButton_->height())); }

void MainWindow::popUpMenu() {
    if (!menu_) menu_ = new MainMenu();
    menu_->popUpRightAligned(menuAnchor());
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, headerBand_);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // Only the window's own surface drags, and only with the left button;
    // presses that a child passed on are not the window's.
    if (event->button() != Qt::LeftButton || childAt(event->position().toPoint())) return;
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void MainWindow::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && event->type() == QEvent::Drop) stepFrom_.clear();
    if ((watched == statusLabel_ || watched == versionLabel_) &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick)) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Closing ends the program at once, whoever asked (the close button, the
// task bar): the menu goes first, then nothing else runs.
void MainWindow::closeEvent(QCloseEvent* event) {
    delete menu_;
    event->accept();
    platform::endProgram(0);
}

}  // namespace viewer
