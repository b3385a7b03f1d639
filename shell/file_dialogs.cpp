#include "shell/file_dialogs.h"

#include "platform/messages.h"
#include "shell/photo_types.h"
#include "shell/user_settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace viewer {
namespace {

DialogHandlers& Handlers() {
    static DialogHandlers handlers;
    return handlers;
}

// Qt reads a filter's patterns from its last parenthesised group, splits
// them at spaces, and with HideNameFilterDetails shows the text before that
// group. Each filter is therefore its shown text followed by its patterns:
// the design's filter keeps its comma-separated name, and the other shows
// its patterns as part of its name.
struct ImageFilter {
    QString shown;
    QStringList patterns;
    QString full() const {
        return shown + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
};

// The design's filter, the one a first run starts with, names the four
// types of its day but lists every type we open: a phone's HEIC or a
// camera's raw file must not look missing from its folder. A second filter
// for the same photos would only repeat it; a "所有照片" filter remembered
// from earlier runs therefore finds none and the dialog starts with this one.
QList<ImageFilter> ImageFilters() {
    return {
        {kImageFilter, photoPatterns()},
        {kAllFilesFilter, {QStringLiteral("*")}},
    };
}

// The folder a dialog starts in, when it still exists.
void StartIn(QFileDialog& dialog, const QString& folder) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
}

// The save dialog refuses a name whose folder does not exist, as the open
// and save dialogs of desktop programs do.
class ReportDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QFileInfo info(files.first());
            if (!info.isDir() && !info.absoluteDir().exists()) {
                platform::showMessage(QStringLiteral("文件夹“%1”不存在。")
                                          .arg(QDir::toNativeSeparators(info.absolutePath())),
                                      platform::MessageIcon::Warning, QString(), this);
                return;
            }
        }
        QFileDialog::accept();
    }
};

QString RunOpenDialog(QWidget* owner, const QString& lastPhoto) {
    QFileDialog dialog(owner, kImageTitle);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // One file, and a typed name is taken as typed even when no such file exists.
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const ImageFilter& filter : ImageFilters()) filters << filter.full();
    dialog.setNameFilters(filters);
    // Remembered by its shown name: that is what selectedNameFilter gives
    // when the details are hidden.
    const QString remembered = rememberedImageFilter();
    for (const ImageFilter& filter : ImageFilters()) {
        if (filter.shown == remembered) dialog.selectNameFilter(filter.full());
    }
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    StartIn(dialog, lastPhoto.isEmpty() ? rememberedFolder() : QFileInfo(lastPhoto).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    const QString chosenFilter = dialog.selectedNameFilter();
    for (const ImageFilter& filter : ImageFilters()) {
        if (chosenFilter == filter.shown || chosenFilter == filter.full())
            rememberImageFilter(filter.shown);
    }
    return dialog.selectedFiles().first();
}

QString RunSaveDialog(QWidget* owner, const QString& photo) {
    ReportDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(kReportFilter);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (!photo.isEmpty()) {
        StartIn(dialog, QFileInfo(photo).absolutePath());
        dialog.selectFile(reportNameFor(photo));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

void setDialogHandlers(DialogHandlers handlers) { Handlers() = std::move(handlers); }

QStringList imageFilterNames() {
    QStringList names;
    for (const ImageFilter& filter : ImageFilters()) names << filter.shown;
    return names;
}

QString reportNameFor(const QString& photo) {
    const QFileInfo info(photo);
    const QString base = info.completeBaseName();
    return (base.isEmpty() ? info.fileName() : base) + QStringLiteral(".txt");
}

QString chooseImageFile(QWidget* owner, const QString& lastPhoto) {
    const QString chosen =
        Handlers().openImage ? Handlers().openImage(owner) : RunOpenDialog(owner, lastPhoto);
    return chosen.trimmed();
}

QString chooseReportFile(QWidget* owner, const QString& photo) {
    return Handlers().saveReport ? Handlers().saveReport(owner) : RunSaveDialog(owner, photo);
}

}  // namespace viewer
