#include "shell/frm_main.h"

#include "controls/image_button.h"
#include "exif/report.h"
#include "panel/vo_exif.h"
#include "platform/property_store.h"
#include "platform/runtime.h"
#include "shell/frm_menu.h"
#include "shell/mod_function.h"
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

namespace {

constexpr std::uint32_t kWindowColour = 0x00007571u;  // OLE &H00007571&
constexpr int kWidth = 737;
constexpr int kHeight = 528;
constexpr int kHandOverRetryMs = 200;

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

frmMain::frmMain(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/app_icon.png")));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, platform::ToQColor(kWindowColour));
    setPalette(palette);
    setAutoFillBackground(true);
    headerBand_ = QPixmap(QStringLiteral(":/pictures/header.png"));

    voButton1 = new viewer::ImageButton(this);
    voButton2 = new viewer::ImageButton(this);
    voButton3 = new viewer::ImageButton(this);
    voButton4 = new viewer::ImageButton(this);
    voButton5 = new viewer::ImageButton(this);
    viewer::ImageButton* buttons[] = {voButton1, voButton2, voButton3, voButton4, voButton5};
    for (int i = 0; i < 5; ++i) {
        buttons[i]->setObjectName(QStringLiteral("voButton%1").arg(i + 1));
        buttons[i]->readProperties(platform::DesignProperties(QStringLiteral("frmMain"), buttons[i]->objectName()));
    }
    voExif1 = new voExif(this);
    voExif1->setObjectName(QStringLiteral("voExif1"));
    Label1 = MakeLabel(this, QStringLiteral("相册数量：0"));
    Label4 = MakeLabel(this, QString());
    // A press on a label is the label's, not the window's: it does not drag.
    Label1->installEventFilter(this);
    Label4->installEventFilter(this);
    // A drop opens a photo the shell is not told of: the folder keys then step from it.
    voExif1->installEventFilter(this);
    handOverRetry_.setSingleShot(true);
    handOverRetry_.setInterval(kHandOverRetryMs);
    connect(&handOverRetry_, &QTimer::timeout, this, &frmMain::OpenHandedOverPhoto);

    connect(voButton1, &viewer::ImageButton::clicked, this, &frmMain::OpenCommand);
    connect(voExif1, &voExif::SelectPhoto, this, &frmMain::OpenCommand);
    connect(voButton2, &viewer::ImageButton::clicked, this, &frmMain::SaveCommand);
    connect(voButton3, &viewer::ImageButton::clicked, this, &frmMain::PopupMenu);
    connect(voButton4, &viewer::ImageButton::clicked, this, [this] { setWindowState(windowState() | Qt::WindowMinimized); });
    connect(voButton5, &viewer::ImageButton::clicked, this, &frmMain::close);

    Form_Load();
}

frmMain::~frmMain() { delete menuForm_; }

void frmMain::Form_Load() {
    shadowAttached_ = windowShadow.attach(this);
    if (shadowAttached_) {
        windowShadow.setDepth(7);
        windowShadow.setColor(Qt::black);
        windowShadow.setOpacity(50);
    }
    setFixedSize(kWidth, kHeight);
    setWindowTitle(platform::AppTitle());
    Label4->setText(QStringLiteral("%1.%2").arg(EXIFVIEWER_VERSION_MAJOR).arg(EXIFVIEWER_VERSION_MINOR));
    Label4->adjustSize();
    Label4->move(296, 40);
    voButton1->setGeometry(435, 0, 82, 80);
    voButton2->setGeometry(520, 0, 82, 80);
    voButton2->setEnabled(false);
    voButton3->setGeometry(653, 0, 28, 20);
    voButton4->setGeometry(681, 0, 28, 20);
    voButton5->setGeometry(709, 0, 28, 20);
    voExif1->setGeometry(0, 80, width(), 418);
    Label1->move(12, 506);
}

void frmMain::ShowCentred() {
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    }
    show();
}

void frmMain::OpenCommand() {
    OpenPath(modFunction::ChooseImageFile(this, QString::fromStdString(voExif1->PhotoFile())));
}

void frmMain::OpenPath(const QString& path) {
    // Choosing the photo already opened again does nothing; a path whose open
    // failed (a photo still being copied) may be tried again.
    if (path.isEmpty() || (path == lastPhotoPath_ && lastPathOpened_)) return;
    Label1->setText(path);
    Label1->adjustSize();
    lastPhotoPath_ = path;
    stepFrom_ = path;
    voExif1->OpenPhoto(path);
    lastPathOpened_ = voExif1->ShowsPhoto();
    voButton2->setEnabled(true);
    if (lastPathOpened_) shell::RememberFolder(QFileInfo(path).absolutePath());
    // Read while the user looks at the photo, ready for the first key press.
    folderPhotos_.Prefetch(path);
}

void frmMain::ShowNeighbour(int step) {
    const QString from = stepFrom_.isEmpty() ? QString::fromStdString(voExif1->PhotoFile()) : stepFrom_;
    if (from.isEmpty()) return;
    const QString next = folderPhotos_.Neighbour(from, step);
    if (next.isEmpty()) return;
    // The next step goes on from here even when the same-path rule keeps
    // this photo from opening again.
    stepFrom_ = next;
    OpenPath(next);
}

void frmMain::TakeHandOver(const QString& path) {
    if (!path.isEmpty()) handedOver_ = path;
    BringToFront();
    OpenHandedOverPhoto();
}

void frmMain::OpenHandedOverPhoto() {
    if (handedOver_.isEmpty()) return;
    // Not under an open dialog or menu: a save dialog would otherwise name
    // the report of one photo and write another's.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        handOverRetry_.start();
        return;
    }
    OpenPath(std::exchange(handedOver_, QString()));
}

void frmMain::BringToFront() {
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
void frmMain::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_O: OpenCommand(); return;
        case Qt::Key_S:
            if (voButton2->isEnabled()) SaveCommand();
            return;
        case Qt::Key_C: voExif1->CopyReport(); return;
        default: break;
        }
    } else if (modifiers == Qt::NoModifier) {
        if (voExif1->ScrollListKey(event->key())) return;
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Backspace: ShowNeighbour(-1); return;
        case Qt::Key_Right:
        case Qt::Key_Space: ShowNeighbour(1); return;
        default: break;
        }
    }
    QWidget::keyPressEvent(event);
}

void frmMain::SaveCommand() {
    // After a failed open the panel still holds the previous photo's list,
    // but the user sees none: there is nothing to save.
    if (!voExif1->ShowsPhoto()) {
        platform::MsgBox(QStringLiteral("当前没有可保存的图像信息"), platform::vbInformation, QString(), this);
        return;
    }
    const QString path = modFunction::ChooseReportFile(this, QString::fromStdString(voExif1->PhotoFile()));
    if (path.isEmpty()) return;

    setCursor(Qt::WaitCursor);
    std::vector<std::string> labels, values;
    voExif1->GetExifData(labels, values);
    const std::string report = exif::BuildReport(voExif1->PhotoName(), voExif1->PhotoFile(), labels, values);
    QString error;
    const bool saved = shell::WriteReportFile(path, QByteArray::fromStdString(report), &error);
    unsetCursor();

    if (saved) {
        platform::MsgBox(QStringLiteral("保存完毕"), platform::vbInformation, QString(), this);
    } else {
        platform::MsgBox(QStringLiteral("报告未能保存到“%1”：%2").arg(path, error), platform::vbExclamation,
                         QString(), this);
    }
}

QPoint frmMain::MenuAnchor() const { return mapToGlobal(QPoint(kWidth, voButton3->height())); }

void frmMain::PopupMenu() {
    if (!menuForm_) menuForm_ = new frmMenu();
    menuForm_->PopupRightAligned(MenuAnchor());
}

void frmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, headerBand_);
}

void frmMain::mousePressEvent(QMouseEvent* event) {
    // Only the window's own surface drags, and only with the left button;
    // presses that a child passed on are not the window's.
    if (event->button() != Qt::LeftButton || childAt(event->position().toPoint())) return;
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void frmMain::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == voExif1 && event->type() == QEvent::Drop) stepFrom_.clear();
    if ((watched == Label1 || watched == Label4) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::QueryUnload() {
    const QList<QWidget*> forms = shell::LoadedForms();
    for (QWidget* form : forms) {
        if (form != this) delete form;
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    QueryUnload();
    event->accept();
    platform::EndProgram(0);
}
