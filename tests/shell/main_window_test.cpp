// The main window driven as a user drives it: buttons clicked, dialogs
// answered by a stand-in, files dropped, reports saved and read back.
#include "controls/image_button.h"
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "panel/photo_panel.h"
#include "reader/property_items.h"
#include "platform/messages.h"
#include "shell/main_window.h"
#include "test_decoder.h"
#include "shell/main_menu.h"
#include "shell/file_dialogs.h"
#include "shell/startup_strings.h"
#include "tiff_builder.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <functional>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using namespace testsupport;

// Drops CAP_DAC_OVERRIDE from this thread while alive, so that a test run as
// root meets folder permissions like any user.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (syscall(SYS_capget, &header, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        active_ = syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutPermissionOverride() {
        if (!active_) return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        syscall(SYS_capset, &header, saved_);
    }

private:
    __user_cap_data_struct saved_[2] = {};
    bool active_ = false;
};

// A tmpfs of `pages` memory pages mounted on a new folder while alive, so
// that a save can meet a full or read-only disk for real. Needs root.
class TinyDisk {
public:
    TinyDisk(const QString& folder, long pages) : folder_(folder.toLocal8Bit()) {
        QDir().mkpath(folder);
        const std::string size = "size=" + std::to_string(pages * ::sysconf(_SC_PAGESIZE));
        mounted_ =
            ::mount("tmpfs", folder_.constData(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0;
        if (!mounted_) why_ = std::strerror(errno);
    }
    ~TinyDisk() {
        if (mounted_) ::umount2(folder_.constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    bool MakeReadOnly() {
        return ::mount(nullptr, folder_.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QByteArray folder_;
    bool mounted_ = false;
    std::string why_;
};

struct Box {
    QString text;
    platform::MessageIcon icon;
    QString caption;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer::setStartupStrings();
        ASSERT_TRUE(dir_.isValid());
        platform::setMessageHandler([this](const platform::Message& message) {
            boxes_.push_back({message.text, message.icon, message.caption});
        });
        platform::setEndProgramHandler([this](int code) { endedWith_ = code; });
        viewer::setDialogHandlers({[this](QWidget*) { return Next(openAnswers_, openAsked_); },
                                   [this](QWidget*) { return Next(saveAnswers_, saveAsked_); }});
        window_ = new viewer::MainWindow(TestDecoder());
        window_->show();
    }

    void TearDown() override {
        delete window_;
        viewer::setDialogHandlers({});
        platform::setMessageHandler({});
        platform::setEndProgramHandler({});
    }

    static QString Next(QStringList& answers, int& asked) {
        ++asked;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    QString Photo(const QString& name, const TiffSpec& spec = CameraSpec(false)) {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(WriteFile(path.toStdString(), DecodableJpeg(BuildTiff(spec).bytes)));
        return path;
    }

    QString PanelFile() const { return QString::fromStdString(window_->panel()->photoFile()); }

    void Click(viewer::ImageButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    }

    // A window as it is right after start.
    void Restart() {
        delete window_;
        window_ = new viewer::MainWindow(TestDecoder());
        window_->show();
        boxes_.clear();
        openAsked_ = saveAsked_ = 0;
    }

    void OpenThroughDialog(const QString& path) {
        openAnswers_ = {path};
        Click(window_->openButton());
    }

    QString NotAnImage() {
        const QString path = dir_.filePath("notes.txt");
        EXPECT_TRUE(WriteFile(path.toStdString(), {'h', 'i', '\n'}));
        return path;
    }

    // The warning of a save that failed for `cause`.
    static QString SaveWarning(const QString& path, int cause) {
        return QStringLiteral("报告未能保存到“%1”：%2").arg(path, qt_error_string(cause));
    }

    // A file dragged in from the file manager and let go over `target`.
    void Drop(QWidget* target, const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(50, 50);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    static QByteArray ReadAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // The report the save command must write for the photo at `path`.
    static QByteArray ExpectedReport(const QString& path) {
        viewer::setStartupStrings();
        exif::MetadataList list;
        list.SetPhoto(path.toStdString());
        const reader::PropertyImage image =
            reader::PropertyImage::Open(reader::FileSource(path.toStdString()));
        list.LoadMetadata(&image);
        return QByteArray::fromStdString(exif::BuildReport(list));
    }

    QTemporaryDir dir_;
    viewer::MainWindow* window_ = nullptr;
    QStringList openAnswers_, saveAnswers_;
    int openAsked_ = 0, saveAsked_ = 0;
    std::vector<Box> boxes_;
    int endedWith_ = -1;
};

TEST_F(MainWindowTest, LoadSequencePlacesEverything) {
    EXPECT_EQ(window_->size(), QSize(737, 528));
    EXPECT_EQ(window_->windowTitle(), platform::appTitle());
    EXPECT_TRUE(window_->windowFlags() & Qt::FramelessWindowHint);
    const struct {
        QWidget* widget;
        QRect geometry;
    } placed[] = {
        {window_->openButton(), {435, 0, 82, 80}},  {window_->saveButton(), {520, 0, 82, 80}},
        {window_->menuButton(), {653, 0, 28, 20}},  {window_->minimiseButton(), {681, 0, 28, 20}},
        {window_->closeButton(), {709, 0, 28, 20}}, {window_->panel(), {0, 80, 737, 418}},
    };
    for (const auto& p : placed)
        EXPECT_EQ(p.widget->geometry(), p.geometry) << p.widget->objectName().toStdString();
    EXPECT_EQ(window_->statusLabel()->pos(), QPoint(12, 506));
    EXPECT_EQ(window_->statusLabel()->text(), QStringLiteral("相册数量：0"));
    EXPECT_EQ(window_->versionLabel()->pos(), QPoint(296, 40));
    EXPECT_EQ(window_->versionLabel()->text(), QStringLiteral("1.0"));
    EXPECT_FALSE(window_->saveButton()->isEnabled());
    EXPECT_TRUE(window_->openButton()->isEnabled());
    // Offscreen there is no compositor: the window works without a shadow.
    EXPECT_FALSE(window_->hasShadow());
}

TEST_F(MainWindowTest, SaveButtonIgnoresClicksUntilAPhotoIsChosen) {
    EXPECT_EQ(window_->saveButton()->look(), viewer::ImageButton::Look::Disabled);
    Click(window_->saveButton());
    EXPECT_EQ(saveAsked_, 0);

    openAnswers_ = {Photo("a.jpg")};
    Click(window_->openButton());
    EXPECT_TRUE(window_->saveButton()->isEnabled());
    Click(window_->saveButton());
    EXPECT_EQ(saveAsked_, 1);
}

TEST_F(MainWindowTest, OpenCommandRules) {
    const QString a = Photo("a.jpg"), b = Photo("b.jpg");

    Click(window_->openButton());  // cancelled
    EXPECT_EQ(openAsked_, 1);
    EXPECT_EQ(window_->statusLabel()->text(), QStringLiteral("相册数量：0"));
    EXPECT_FALSE(window_->saveButton()->isEnabled());
    EXPECT_EQ(PanelFile(), QString());

    openAnswers_ = {"  " + a + "  "};  // the chosen path comes back trimmed
    Click(window_->openButton());
    EXPECT_EQ(window_->statusLabel()->text(), a);
    EXPECT_EQ(window_->lastPhotoPath(), a);
    EXPECT_EQ(PanelFile(), a);
    EXPECT_TRUE(window_->saveButton()->isEnabled());

    // A, then B dropped, then A chosen again: A is the last chosen path, so B stays.
    Drop(window_->panel(), b);
    EXPECT_EQ(PanelFile(), b);
    openAnswers_ = {a};
    Click(window_->openButton());
    EXPECT_EQ(PanelFile(), b);
    EXPECT_EQ(window_->statusLabel()->text(), a);

    // The panel's request for a photo runs the same command.
    openAnswers_ = {b};
    emit window_->panel()->photoRequested();
    EXPECT_EQ(openAsked_, 4);
    EXPECT_EQ(window_->statusLabel()->text(), b);
    EXPECT_EQ(window_->lastPhotoPath(), b);
}

TEST_F(MainWindowTest, ChoosingAFileThatIsNoImageStillEnablesSave) {
    const QString text = dir_.filePath("notes.txt");
    ASSERT_TRUE(WriteFile(text.toStdString(), {'h', 'i', '\n'}));
    openAnswers_ = {text};
    Click(window_->openButton());
    EXPECT_EQ(window_->statusLabel()->text(), text);
    EXPECT_TRUE(window_->saveButton()->isEnabled());
    EXPECT_EQ(PanelFile(), QString());
}

// A path whose open failed (a photo still being copied) opens once it is
// complete; a path that opened is not opened again.
TEST_F(MainWindowTest, APathWhoseOpenFailedCanBeChosenAgain) {
    const QString path = dir_.filePath("arriving.jpg");
    std::vector<std::uint8_t> whole = DecodableJpeg(BuildTiff(CameraSpec(false)).bytes);
    ASSERT_TRUE(WriteFile(path.toStdString(),
                          std::vector<std::uint8_t>(whole.begin(), whole.begin() + 64)));
    const auto settled = [this] {
        return QTest::qWaitFor([this] { return !window_->panel()->previewPending(); }, 60000);
    };
    OpenThroughDialog(path);
    ASSERT_TRUE(settled());
    // Its first metadata may be listed; its picture cannot be drawn.
    EXPECT_FALSE(window_->panel()->reason().isEmpty());

    ASSERT_TRUE(WriteFile(path.toStdString(), whole));
    OpenThroughDialog(path);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(window_->panel()->showsPhoto());
    EXPECT_TRUE(window_->panel()->reason().isEmpty());
    EXPECT_EQ(PanelFile(), path);
    std::vector<std::string> labels, values;
    window_->panel()->exifData(labels, values);

    TiffSpec other;
    other.ifd0.fields = {Ascii(0x010F, "Nikon")};
    ASSERT_TRUE(WriteFile(path.toStdString(), DecodableJpeg(BuildTiff(other).bytes)));
    OpenThroughDialog(path);
    std::vector<std::string> labelsAfter, valuesAfter;
    window_->panel()->exifData(labelsAfter, valuesAfter);
    EXPECT_EQ(valuesAfter, values);
    EXPECT_EQ(openAsked_, 3);
}

// The save command writes only the report of a photo on screen; with none it
// says so without asking for a file.
TEST_F(MainWindowTest, SaveWithNoPhotoOnScreenWritesNothing) {
    const struct {
        const char* name;
        std::function<void()> before;
    } cases[] = {
        {"right after start", [] {}},
        {"first open failed", [this] { OpenThroughDialog(NotAnImage()); }},
        {"open failed after a good photo",
         [this] {
             OpenThroughDialog(Photo("a.jpg"));
             OpenThroughDialog(NotAnImage());
         }},
        {"drop failed after a good photo",
         [this] {
             OpenThroughDialog(Photo("a.jpg"));
             Drop(window_->panel(), NotAnImage());
         }},
    };
    const QString report = dir_.filePath("report.txt");
    for (const auto& c : cases) {
        Restart();
        c.before();
        boxes_.clear();
        saveAnswers_ = {report};
        // Right after start the button is disabled; the command itself must hold.
        window_->saveCommand();
        EXPECT_EQ(saveAsked_, 0) << c.name;
        EXPECT_FALSE(QFile::exists(report)) << c.name;
        ASSERT_EQ(boxes_.size(), 1u) << c.name;
        EXPECT_EQ(boxes_[0].text, QStringLiteral("当前没有可保存的图像信息")) << c.name;
        EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::Information) << c.name;
        EXPECT_EQ(boxes_[0].caption, platform::appTitle()) << c.name;
    }

    // A photo on screen again: its report is saved.
    const QString b = Photo("b.jpg");
    Drop(window_->panel(), b);
    saveAnswers_ = {report};
    Click(window_->saveButton());
    EXPECT_EQ(ReadAll(report), ExpectedReport(b));
}

TEST_F(MainWindowTest, DropLeavesStatusLineAndSaveButtonAlone) {
    const QString a = Photo("a.jpg");
    Drop(window_->panel(), a);
    EXPECT_EQ(PanelFile(), a);
    EXPECT_EQ(window_->statusLabel()->text(), QStringLiteral("相册数量：0"));
    EXPECT_EQ(window_->lastPhotoPath(), QString());
    EXPECT_FALSE(window_->saveButton()->isEnabled());
}

TEST_F(MainWindowTest, SavedReportHasTheExactBytes) {
    const QString photo = Photo("猫.jpg");
    openAnswers_ = {photo};
    Click(window_->openButton());
    const QString report = dir_.filePath("report.txt");
    saveAnswers_ = {report};
    Click(window_->saveButton());

    const QByteArray expected = ExpectedReport(photo);
    EXPECT_EQ(ReadAll(report), expected);
    EXPECT_TRUE(
        expected.startsWith(QStringLiteral("图像：猫.jpg\r\n路径：%1\r\n").arg(photo).toUtf8()));
    EXPECT_TRUE(expected.contains("光圈F2.8\r\n"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("保存完毕"));
    EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(boxes_[0].caption, platform::appTitle());
    EXPECT_EQ(window_->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, SavingAgainReplacesTheEarlierReport) {
    TiffSpec small;
    small.ifd0.fields = {Ascii(0x010F, "Nikon")};
    const QString big = Photo("big.jpg"), little = Photo("little.jpg", small);
    const QString report = dir_.filePath("report.txt");

    openAnswers_ = {big};
    Click(window_->openButton());
    saveAnswers_ = {report};
    Click(window_->saveButton());
    openAnswers_ = {little};
    Click(window_->openButton());
    saveAnswers_ = {report};
    Click(window_->saveButton());

    EXPECT_EQ(ReadAll(report), ExpectedReport(little));
    EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(MainWindowTest, CancelledSaveWritesNothingAndSaysNothing) {
    openAnswers_ = {Photo("a.jpg")};
    Click(window_->openButton());
    const QString report = dir_.filePath("report.txt");
    ASSERT_TRUE(WriteFile(report.toStdString(), {'o', 'l', 'd'}));
    Click(window_->saveButton());  // the stand-in has no answer: cancelled
    EXPECT_EQ(saveAsked_, 1);
    EXPECT_EQ(ReadAll(report), QByteArray("old"));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainWindowTest, FailedSaveKeepsTheOldReportAndSaysWhy) {
    openAnswers_ = {Photo("a.jpg")};
    Click(window_->openButton());

    const QString lockedDir = dir_.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(lockedDir));
    const QString report = lockedDir + "/report.txt";
    ASSERT_TRUE(WriteFile(report.toStdString(), {'o', 'l', 'd'}));
    const QString goneDir = dir_.filePath("gone");
    ASSERT_TRUE(QDir().mkpath(goneDir));
    ASSERT_TRUE(QDir(goneDir).removeRecursively());

    const struct {
        const char* name;
        QString path;
        bool readOnlyFolder;
        int cause;  // 0: not a system error
    } cases[] = {
        {"read-only folder", report, true, EACCES},
        {"folder gone", goneDir + "/report.txt", false, ENOENT},
        {"a folder in the way", dir_.path(), false, 0},
    };
    for (const auto& c : cases) {
        boxes_.clear();
        saveAnswers_ = {c.path};
        ::chmod(lockedDir.toLocal8Bit().constData(), c.readOnlyFolder ? 0555 : 0755);
        {
            WithoutPermissionOverride asUser;
            Click(window_->saveButton());
        }
        ::chmod(lockedDir.toLocal8Bit().constData(), 0755);
        ASSERT_EQ(boxes_.size(), 1u) << c.name;
        EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::Warning) << c.name;
        EXPECT_NE(boxes_[0].text, QStringLiteral("保存完毕")) << c.name;
        EXPECT_TRUE(boxes_[0].text.contains(c.path)) << c.name;
        if (c.cause != 0) {
            EXPECT_EQ(boxes_[0].text.toStdString(), SaveWarning(c.path, c.cause).toStdString())
                << c.name;
        }
        EXPECT_FALSE(boxes_[0].text.endsWith(QFile().errorString())) << c.name;  // "Unknown error"
        EXPECT_EQ(window_->cursor().shape(), Qt::ArrowCursor) << c.name;
    }
    EXPECT_EQ(ReadAll(report), QByteArray("old"));
    EXPECT_EQ(QDir(lockedDir).entryList(QDir::Files), QStringList{"report.txt"});
}

// A full or read-only disk, for real: the warning names the cause, the old
// report stays whole and no half-written file is left.
TEST_F(MainWindowTest, SaveOnAFullOrReadOnlyDiskNamesTheCause) {
    TiffSpec longSpec = CameraSpec(false);
    longSpec.ifd0.fields.push_back(
        UndefinedText(0x010E, std::string(30000, 'x')));  // beyond Qt's write buffer
    const QString shortPhoto = Photo("short.jpg"), longPhoto = Photo("long.jpg", longSpec);
    const long page = ::sysconf(_SC_PAGESIZE);
    const struct {
        const char* name;
        QString photo;
        long filler;  // bytes written beside the old report, which takes a page
        bool readOnly;
        const char* target;
        int cause;
    } cases[] = {
        {"disk full, report in the write buffer", shortPhoto, page, false, "report.txt", ENOSPC},
        {"disk fills up during a long report", longPhoto, 0, false, "report.txt", ENOSPC},
        // Over an existing file QSaveFile names the file as not writable.
        {"read-only file system", shortPhoto, 0, true, "new.txt", EROFS},
    };
    int made = 0;
    for (const auto& c : cases) {
        const QString folder = dir_.filePath(QStringLiteral("disk%1").arg(++made));
        TinyDisk disk(folder, 2);
        if (!disk.mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here (" << disk.why() << "); run as root";
        const QString report = folder + "/report.txt", target = folder + "/" + c.target;
        ASSERT_TRUE(WriteFile(report.toStdString(), {'o', 'l', 'd'})) << c.name;
        if (c.filler > 0) {
            ASSERT_TRUE(WriteFile((folder + "/filler").toStdString(),
                                  std::vector<std::uint8_t>(c.filler, 0)))
                << c.name;
        }
        if (c.readOnly) {
            ASSERT_TRUE(disk.MakeReadOnly()) << c.name;
        }
        const QStringList before = QDir(folder).entryList(QDir::Files);

        OpenThroughDialog(c.photo);
        ASSERT_TRUE(window_->panel()->showsPhoto()) << c.name;
        boxes_.clear();
        saveAnswers_ = {target};
        Click(window_->saveButton());
        ASSERT_EQ(boxes_.size(), 1u) << c.name;
        EXPECT_EQ(boxes_[0].text.toStdString(), SaveWarning(target, c.cause).toStdString())
            << c.name;
        EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::Warning) << c.name;
        EXPECT_EQ(ReadAll(report), QByteArray("old")) << c.name;
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), before) << c.name;
        EXPECT_EQ(window_->cursor().shape(), Qt::ArrowCursor) << c.name;
    }
}

// A folder someone else made (an unpacked archive, a shared drive) holds a
// photo and, under the name its report is proposed with, a link to a file of
// the user's. Ctrl+S and Enter in the real dialog (and "Yes" when it asks to
// replace) must leave what the link points to as it was.
TEST_F(MainWindowTest, ReportNameTakenByALinkLeavesItsTargetAlone) {
    viewer::setDialogHandlers(
        {[this](QWidget*) { return Next(openAnswers_, openAsked_); }, nullptr});
    const struct {
        const char* name;
        bool targetExists;
    } cases[] = {{"a link to an existing file", true}, {"a dangling link", false}};
    for (const auto& c : cases) {
        QTemporaryDir folder, home;
        const QString photo = folder.filePath("inject.jpg");
        ASSERT_TRUE(
            WriteFile(photo.toStdString(), DecodableJpeg(BuildTiff(CameraSpec(false)).bytes)));
        const QString target = home.filePath(".bash_aliases"), link = folder.filePath("inject.txt");
        if (c.targetExists) {
            ASSERT_TRUE(WriteFile(target.toStdString(), {'o', 'l', 'd'})) << c.name;
        }
        ASSERT_TRUE(QFile::link(target, link)) << c.name;
        OpenThroughDialog(photo);
        ASSERT_TRUE(window_->panel()->showsPhoto()) << c.name;
        boxes_.clear();

        // Answers whatever the save command puts up: Enter in the file dialog,
        // "Yes" to its question whether to replace the file. The key is queued,
        // so that the timer is free to answer the question it raises.
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* question = qobject_cast<QMessageBox*>(modal)) {
                question->button(QMessageBox::Yes)->click();
            } else if (modal && modal->inherits("QFileDialog") && modal->focusWidget()) {
                QMetaObject::invokeMethod(
                    modal->focusWidget(),
                    [field = modal->focusWidget()] { QTest::keyClick(field, Qt::Key_Return); },
                    Qt::QueuedConnection);
            }
        });
        answerer.start(50);
        QTest::keyClick(window_, Qt::Key_S, Qt::ControlModifier);
        answerer.stop();

        EXPECT_EQ(ReadAll(target), QByteArray(c.targetExists ? "old" : "<missing>")) << c.name;
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << c.name;
        ASSERT_EQ(boxes_.size(), 1u) << c.name;
        EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::Warning) << c.name;
        EXPECT_TRUE(boxes_[0].text.contains(link)) << c.name << ": the warning names the link";
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  (QStringList{"inject.jpg", "inject.txt"}))
            << c.name;
    }
}

TEST_F(MainWindowTest, MenuPopsUpBelowTheSmallButtonsRightAligned) {
    for (const QPoint at : {QPoint(0, 0), QPoint(40, 30)}) {
        window_->move(at);
        QApplication::processEvents();
        const QPoint anchor = window_->menuAnchor();
        EXPECT_EQ(anchor, window_->mapToGlobal(QPoint(737, 20)));
        QRect shown;
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                shown = popup->geometry();
                popup->close();
            }
        });
        Click(window_->menuButton());
        ASSERT_TRUE(window_->menu());
        EXPECT_EQ(shown.left() + shown.width(), anchor.x());
        EXPECT_EQ(shown.top(), anchor.y());
    }
    EXPECT_TRUE(boxes_.empty());  // closing the menu without a choice does nothing
    EXPECT_EQ(window_->menu()->aboutAction()->text(), QStringLiteral("关于(&A)"));
}

TEST_F(MainWindowTest, AboutShowsTheContactLines) {
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_A);
    });
    Click(window_->menuButton());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text,
              QString::fromStdString(viewer::startupStrings().contactLines[0] + "\n" +
                                     viewer::startupStrings().contactLines[1]));
    EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(boxes_[0].caption, platform::appTitle());
}

TEST_F(MainWindowTest, CloseDeletesTheMenuAndEndsTheProgram) {
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    Click(window_->menuButton());
    ASSERT_TRUE(window_->menu());
    Click(window_->closeButton());
    EXPECT_EQ(endedWith_, 0);
    EXPECT_FALSE(window_->menu());
}

TEST_F(MainWindowTest, MinimiseButton) {
    Click(window_->minimiseButton());
    EXPECT_TRUE(window_->windowState() & Qt::WindowMinimized);
}

TEST_F(MainWindowTest, LeftButtonOnTheWindowSurfaceDragsIt) {
    const struct {
        const char* name;
        Qt::MouseButton button;
        QPoint press;
        bool moves;
    } cases[] = {
        {"left on the header band", Qt::LeftButton, {200, 60}, true},
        {"left on the status strip", Qt::LeftButton, {600, 510}, true},
        {"right on the header band", Qt::RightButton, {200, 60}, false},
        {"left on the version label", Qt::LeftButton, {300, 45}, false},
        {"left on the photo panel", Qt::LeftButton, {400, 200}, false},
    };
    for (const auto& c : cases) {
        window_->move(10, 10);
        QApplication::processEvents();
        const QPoint before = window_->pos();
        QWidget* target = window_->childAt(c.press) ? window_->childAt(c.press) : window_;
        const QPoint local = target->mapFrom(window_, c.press);
        QTest::mousePress(target, c.button, {}, local);
        QMouseEvent move(QEvent::MouseMove, QPointF(local + QPoint(30, 20)),
                         QPointF(target->mapToGlobal(local + QPoint(30, 20))), Qt::NoButton,
                         c.button, {});
        QApplication::sendEvent(target, &move);
        QTest::mouseRelease(target, c.button, {}, local + QPoint(30, 20));
        EXPECT_EQ(window_->pos() != before, c.moves) << c.name;
    }
}

}  // namespace
