// Everyday use of the main window: the keys, stepping through a folder,
// photos handed over by a second start, the photo on the command line, and
// the file dialogs' folders, filters and proposed names (the real dialogs).
#include "controls/flat_scroll_bar.h"
#include "controls/image_button.h"
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "panel/list_surface.h"
#include "panel/photo_panel.h"
#include "platform/messages.h"
#include "reader/property_items.h"
#include "shell/command_line.h"
#include "shell/main_window.h"
#include "test_decoder.h"
#include "shell/file_dialogs.h"
#include "shell/startup_strings.h"
#include "shell/photo_types.h"
#include "shell/user_settings.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

// Failures name paths as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using namespace testsupport;

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer::setStartupStrings();
        ASSERT_TRUE(dir_.isValid());
        viewer::setSettingsFile(dir_.filePath("settings.ini"));
        platform::setMessageHandler([](const platform::Message&) {});
        platform::setEndProgramHandler([](int) {});
        StandInDialogs();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        NewWindow();
    }

    void TearDown() override {
        delete window_;
        viewer::setDialogHandlers({});
        platform::setMessageHandler({});
        platform::setEndProgramHandler({});
    }

    void StandInDialogs() {
        viewer::setDialogHandlers({[this](QWidget*) {
                                       ++openAsked_;
                                       return openAnswers_.isEmpty() ? QString()
                                                                     : openAnswers_.takeFirst();
                                   },
                                   [this](QWidget*) {
                                       ++saveAsked_;
                                       return QString();
                                   }});
    }

    // A new window, as a new run of the program finds it.
    void NewWindow() {
        delete window_;
        window_ = new viewer::MainWindow(TestDecoder());
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    QString Photo(const QString& relative, const TiffSpec& spec = CameraSpec(false)) {
        const QString path = dir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(WriteFile(path.toStdString(), DecodableJpeg(BuildTiff(spec).bytes)));
        return path;
    }

    // A key as the window system delivers it: to the window, which hands it
    // to its focus widget or keeps it.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window_->windowHandle(), key, modifiers);
    }

    void Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window_->panel(), &enter);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_->panel(), &drop);
    }

    QString Shown() const { return QString::fromStdString(window_->panel()->photoFile()); }

    static QString Report(const QString& path) {
        exif::MetadataList list;
        list.SetPhoto(path.toStdString());
        const reader::PropertyImage image =
            reader::PropertyImage::Open(reader::FileSource(path.toStdString()));
        list.LoadMetadata(&image);
        return QString::fromStdString(exif::BuildReport(list));
    }

    // Gives the folder another modification time, as a change seen a
    // moment later would.
    static void Touch(const QString& folder, int secondsAhead) {
        const timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) + secondsAhead, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, folder.toLocal8Bit().constData(), times, 0), 0);
    }

    QTemporaryDir dir_;
    viewer::MainWindow* window_ = nullptr;
    QStringList openAnswers_;
    int openAsked_ = 0, saveAsked_ = 0;
};

TEST_F(DesktopTest, ControlKeysOpenSaveAndCopy) {
    const QString a = Photo("a.jpg");
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saveAsked_, 0) << "nothing to save yet: Ctrl+S does what the disabled button does";
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"))
        << "nothing shown, nothing copied";

    openAnswers_ = {a};
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(openAsked_, 1);
    EXPECT_EQ(window_->statusLabel()->text(), a);
    EXPECT_EQ(Shown(), a);
    EXPECT_TRUE(window_->saveButton()->isEnabled());

    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saveAsked_, 1);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Report(a))
        << "the whole report, as the save command writes it";
    EXPECT_TRUE(Report(a).contains(QStringLiteral("光圈F2.8\r\n")));
    Key(Qt::Key_O);
    EXPECT_EQ(openAsked_, 1) << "O alone is no command";
}

TEST_F(DesktopTest, ListKeysMoveTheScrollBar) {
    TiffSpec many;
    // 29 titles and the file's size.
    for (int i = 0; i < 29; ++i)
        many.ifd0.fields.push_back(Ascii(0x010E, "Title " + std::to_string(i)));
    openAnswers_ = {Photo("many.jpg", many)};
    window_->openCommand();
    ASSERT_EQ(window_->panel()->metadata().EntryCount(), 30u);
    // 30 rows in a 414-pixel viewport: Max 10; a page is the 20 rows in view.
    const struct {
        Qt::Key key;
        int value;
    } steps[] = {
        {Qt::Key_Down, 1},      {Qt::Key_Down, 2},  {Qt::Key_Up, 1},
        {Qt::Key_PageDown, 10}, {Qt::Key_Down, 10}, {Qt::Key_PageUp, 0},
        {Qt::Key_Up, 0},        {Qt::Key_End, 10},  {Qt::Key_Home, 0},
    };
    for (const auto& step : steps) {
        Key(step.key);
        EXPECT_EQ(window_->panel()->scrollBar()->value(), step.value) << QTest::toString(step.key);
        EXPECT_EQ(window_->panel()->listSurface()->y(), -20 * step.value)
            << QTest::toString(step.key);
    }
    EXPECT_EQ(window_->focusWidget(), nullptr)
        << "no child takes the focus, so none draws a focus mark";
}

TEST_F(DesktopTest, FolderKeysStepInNaturalOrderAndWrap) {
    const QString first = Photo("photos/IMG_2.jpg");
    for (const char* name :
         {"photos/IMG_10.jpg", "photos/img_3.JPG", "photos/IMG_1.png", "photos/sub/IMG_4.jpg"})
        Photo(name);
    ASSERT_TRUE(WriteFile(dir_.filePath("photos/notes.txt").toStdString(), {'n'}));
    ASSERT_TRUE(WriteFile(dir_.filePath("photos/raw.CR2").toStdString(),
                          {'r'}));  // a type we open, not decodable here
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("photos/IMG_5.jpg")));  // a folder, not a photo
    const auto at = [&](const char* name) {
        return dir_.filePath(QStringLiteral("photos/") + name);
    };

    openAnswers_ = {first};
    window_->openCommand();
    const struct {
        Qt::Key key;
        const char* shown;
    } steps[] = {
        {Qt::Key_Right, "img_3.JPG"},
        {Qt::Key_Right, "IMG_10.jpg"},
        {Qt::Key_Space, "raw.CR2"},
        {Qt::Key_Right, "IMG_1.png"},  // wraps round to the first
        {Qt::Key_Left, "raw.CR2"},     // and back
        {Qt::Key_Backspace, "IMG_10.jpg"},
        {Qt::Key_Left, "img_3.JPG"},
        {Qt::Key_Left, "IMG_2.jpg"},
    };
    for (const auto& step : steps) {
        Key(step.key);
        const QString expected = at(step.shown);
        // Opened as the open command opens: status line, save button, panel.
        EXPECT_EQ(window_->statusLabel()->text(), expected) << step.shown;
        EXPECT_EQ(window_->lastPhotoPath(), expected) << step.shown;
        EXPECT_TRUE(window_->saveButton()->isEnabled()) << step.shown;
        if (QString(step.shown) != "raw.CR2") EXPECT_EQ(Shown(), expected) << step.shown;
        else
            EXPECT_FALSE(window_->panel()->showsPhoto())
                << "a file that does not load shows the empty state";
    }
    EXPECT_EQ(window_->folderPhotos().listings(), 1) << "the folder is read once, not once per key";
}

TEST_F(DesktopTest, FolderKeysSeeAChangedFolder) {
    const QString a = Photo("f/a1.jpg");
    const QString c = Photo("f/a3.jpg");
    openAnswers_ = {a};
    window_->openCommand();
    Key(Qt::Key_Right);
    ASSERT_EQ(Shown(), c);

    const QString b = Photo("f/a2.jpg");
    Touch(dir_.filePath("f"), 5);
    Key(Qt::Key_Left);
    EXPECT_EQ(Shown(), b) << "a photo added meanwhile is among them";
    EXPECT_EQ(window_->folderPhotos().listings(), 2);

    // The photo shown is deleted: the next step counts from where it stood.
    ASSERT_TRUE(QFile::remove(b));
    Touch(dir_.filePath("f"), 10);
    Key(Qt::Key_Right);
    EXPECT_EQ(Shown(), c);
}

TEST_F(DesktopTest, FolderKeysKeepTheSamePathRuleAndFollowDrops) {
    const QString a = Photo("g/a.jpg"), b = Photo("g/b.jpg"), c = Photo("g/c.jpg");
    const QString alone = Photo("single/only.jpg");

    openAnswers_ = {alone};
    window_->openCommand();
    Drop(a);  // the panel shows a; the status line still names `alone`
    ASSERT_EQ(Shown(), a);
    Key(Qt::Key_Right);
    EXPECT_EQ(Shown(), b) << "the step goes from the dropped photo";
    EXPECT_EQ(window_->statusLabel()->text(), b);

    openAnswers_ = {alone};
    window_->openCommand();
    Key(Qt::Key_Right);
    EXPECT_EQ(Shown(), alone) << "the only photo of its folder: the same path is not opened again";
    EXPECT_EQ(window_->statusLabel()->text(), alone);

    // b is the last path opened; stepping onto it from c keeps c on screen
    // by the same-path rule, and the next step goes on past it.
    openAnswers_ = {b};
    window_->openCommand();
    Drop(c);
    Key(Qt::Key_Left);
    EXPECT_EQ(Shown(), c);
    Key(Qt::Key_Left);
    EXPECT_EQ(Shown(), a);
}

TEST_F(DesktopTest, HandedOverPhotoOpensLikeTheOpenCommand) {
    const QString a = Photo("a.jpg"), b = Photo("b.jpg");
    window_->showMinimized();
    window_->takeHandOver(QString());
    EXPECT_FALSE(window_->windowState() & Qt::WindowMinimized)
        << "a start without a photo brings the window forward";
    EXPECT_EQ(Shown(), QString());
    EXPECT_EQ(window_->statusLabel()->text(), QStringLiteral("相册数量：0"));

    window_->takeHandOver(a);
    EXPECT_EQ(Shown(), a);
    EXPECT_EQ(window_->statusLabel()->text(), a);
    EXPECT_TRUE(window_->saveButton()->isEnabled());

    // Under an open dialog the photo waits until the dialog closes.
    QDialog dialog(window_);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    window_->takeHandOver(b);
    QTest::qWait(300);
    EXPECT_EQ(Shown(), a);
    dialog.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Shown() == b; }, 5000));
    EXPECT_EQ(window_->statusLabel()->text(), b);
}

TEST_F(DesktopTest, PhotoArgument) {
    const struct {
        QStringList arguments;
        QString expected;
    } cases[] = {
        {{"exifviewer"}, ""},
        {{"exifviewer", "/p/a.jpg"}, "/p/a.jpg"},
        {{"exifviewer", "a.jpg"}, "/work/a.jpg"},
        {{"exifviewer", "sub/猫 1.jpg"}, "/work/sub/猫 1.jpg"},
        {{"exifviewer", "/p/a.jpg", "/p/b.jpg"}, "/p/a.jpg"},
        {{"exifviewer", "-platform", "offscreen", "a.jpg"}, "/work/a.jpg"},
        {{"exifviewer", "-platform", "offscreen"}, ""},
        {{"exifviewer", "--style=fusion", "-reverse", "a.jpg"}, "/work/a.jpg"},
        {{"exifviewer", "--", "-odd.jpg"}, "/work/-odd.jpg"},
        {{"exifviewer", "file:///p/a%20b.jpg"}, "/p/a b.jpg"},
        {{"exifviewer", "file://host/a.jpg"}, ""},
        {{"exifviewer", "file://localhost/p/a.jpg"}, "/p/a.jpg"},
        {{"exifviewer", ""}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(viewer::photoArgument(c.arguments, "/work"), c.expected)
            << c.arguments.join(' ').toStdString();
    }
}

// The real dialogs, answered by reading them and pressing their buttons.
class DialogTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        viewer::setDialogHandlers({});
    }

    // Runs `open` while `answer` acts on the file dialog it shows.
    static void WithDialog(const std::function<void()>& open,
                           const std::function<void(QFileDialog*)>& answer) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no file dialog";
                if (QWidget* other = QApplication::activeModalWidget()) other->close();
                return;
            }
            answered = true;
            answer(dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        open();
        EXPECT_TRUE(answered);
    }

    static int FilterIndex(QFileDialog* dialog) {
        auto* box = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        return box ? box->currentIndex() : -1;
    }

    static QStringList ShownFilters(QFileDialog* dialog) {
        QStringList shown;
        auto* box = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; box && i < box->count(); ++i) shown << box->itemText(i);
        return shown;
    }

    // The dialog's own button: QFileDialog::accept checks what was typed.
    static void Accept(QFileDialog* dialog) { static_cast<QDialog*>(dialog)->accept(); }

    static void Choose(QFileDialog* dialog, const QString& path) {
        dialog->selectFile(path);
        Accept(dialog);
    }
};

TEST_F(DialogTest, OpenDialogFilters) {
    WithDialog(
        [&] { window_->openCommand(); },
        [&](QFileDialog* dialog) {
            const QStringList shown = ShownFilters(dialog);
            ASSERT_EQ(shown.size(), 2);
            EXPECT_EQ(shown[0], QStringLiteral("图像文件(*.bmp,*.gif,*.jpg,*.png)"))
                << "the design's filter, first and as it was";
            EXPECT_EQ(shown[1], QStringLiteral("所有文件 (*)"));
            EXPECT_EQ(FilterIndex(dialog), 0);
            // Behind the design's name: the types the folder keys step through,
            // the design's four among them.
            const QString first = dialog->nameFilters()[0];
            const qsizetype open = first.lastIndexOf('(');
            ASSERT_TRUE(open > 0 && first.endsWith(')')) << first.toStdString();
            const QStringList patterns = first.mid(open + 1, first.size() - open - 2).split(' ');
            EXPECT_EQ(patterns, viewer::photoPatterns());
            for (const char* design : {"*.bmp", "*.gif", "*.jpg", "*.png"})
                EXPECT_TRUE(patterns.contains(QLatin1String(design))) << design;
            for (const QString& pattern : patterns) {
                EXPECT_TRUE(viewer::isPhotoType(QStringLiteral("x") + pattern.mid(1).toUpper()))
                    << pattern.toStdString();
            }
        });
}

// What the first filter lists in a folder, whatever filter an earlier run
// remembered: the design's, the "所有照片" filter of earlier versions (gone,
// so the first one is chosen), or all files.
TEST_F(DialogTest, OpenDialogListsEveryPhotoTypeUnderTheFirstFilter) {
    const QString photo = Photo("mixed/c.jpg");
    for (const char* name : {"a.heic", "b.DNG", "d.webp", "e.cr3", "f.txt", "g.tif"}) {
        QFile file(dir_.filePath(QStringLiteral("mixed/") + QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    viewer::rememberFolder(QFileInfo(photo).absolutePath());
    const QString oldPhotoFilter =
        QStringLiteral("所有照片 (") + viewer::photoPatterns().join(' ') + ')';
    const struct {
        QString remembered;
        int index;
        QStringList listed;
    } cases[] = {
        {QString(), 0, {"a.heic", "b.DNG", "c.jpg", "d.webp", "e.cr3", "g.tif"}},
        {QStringLiteral("图像文件(*.bmp,*.gif,*.jpg,*.png)"),
         0,
         {"a.heic", "b.DNG", "c.jpg", "d.webp", "e.cr3", "g.tif"}},
        {oldPhotoFilter, 0, {"a.heic", "b.DNG", "c.jpg", "d.webp", "e.cr3", "g.tif"}},
        {QStringLiteral("所有文件 (*)"),
         1,
         {"a.heic", "b.DNG", "c.jpg", "d.webp", "e.cr3", "f.txt", "g.tif"}},
    };
    for (const auto& c : cases) {
        viewer::rememberImageFilter(c.remembered);
        NewWindow();
        WithDialog(
            [&] { window_->openCommand(); },
            [&](QFileDialog* dialog) {
                EXPECT_EQ(FilterIndex(dialog), c.index) << c.remembered.toStdString();
                auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
                ASSERT_TRUE(view);
                const auto listed = [&] {
                    QStringList names;
                    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
                    names.sort();
                    return names;
                };
                // The file system model reads the folder on a thread of its own.
                EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == c.listed; }, 5000))
                    << c.remembered.toStdString() << ": " << listed().join(' ').toStdString();
            });
    }
}

TEST_F(DialogTest, OpenDialogRemembersFolderAndFilterAcrossRuns) {
    const QString photo = Photo("trip/day 1/IMG_1.JPG");
    const QString elsewhere = Photo("elsewhere/x.jpg");
    WithDialog([&] { window_->openCommand(); },
               [&](QFileDialog* dialog) {
                   dialog->selectNameFilter(dialog->nameFilters()[1]);
                   Choose(dialog, photo);
               });
    ASSERT_EQ(Shown(), photo);

    // A new run: the dialog starts in the photo's folder with the filter last chosen.
    viewer::setSettingsFile(dir_.filePath("settings.ini"));
    NewWindow();
    WithDialog([&] { window_->openCommand(); },
               [&](QFileDialog* dialog) {
                   EXPECT_EQ(dialog->directory().absolutePath(), QFileInfo(photo).absolutePath());
                   EXPECT_EQ(FilterIndex(dialog), 1);
                   dialog->selectNameFilter(dialog->nameFilters()[0]);
                   dialog->reject();  // a cancelled dialog remembers nothing
               });
    NewWindow();
    WithDialog([&] { window_->openCommand(); },
               [&](QFileDialog* dialog) { EXPECT_EQ(FilterIndex(dialog), 1); });

    // With a photo on screen, however it came, the dialog starts in its folder.
    Drop(elsewhere);
    WithDialog([&] { window_->openCommand(); },
               [&](QFileDialog* dialog) {
                   EXPECT_EQ(dialog->directory().absolutePath(),
                             QFileInfo(elsewhere).absolutePath());
               });
}

TEST_F(DialogTest, SaveDialogStartsInThePhotosFolderWithItsName) {
    const struct {
        const char* photo;
        const char* proposed;
    } cases[] = {
        {"a/IMG_0001.JPG", "IMG_0001.txt"},
        {"b/holiday.photo.jpeg", "holiday.photo.txt"},
        {"c/猫.heic", "猫.txt"},
    };
    for (const auto& c : cases) {
        const QString photo = Photo(c.photo);
        window_->openPath(photo);
        QString chosen;
        WithDialog(
            [&] { window_->saveCommand(); },
            [&](QFileDialog* dialog) {
                EXPECT_EQ(dialog->directory().absolutePath(), QFileInfo(photo).absolutePath())
                    << c.photo;
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                ASSERT_TRUE(name);
                EXPECT_EQ(name->text(), QString::fromUtf8(c.proposed)) << c.photo;
                Accept(dialog);
                chosen = dialog->selectedFiles().value(0);
            });
        EXPECT_EQ(chosen, QFileInfo(photo).absoluteDir().filePath(QString::fromUtf8(c.proposed)))
            << c.photo;
        EXPECT_TRUE(QFileInfo::exists(chosen)) << c.photo << ": the report is written there";
    }
}

}  // namespace
