#include "shell/mod_function.h"

#include "platform/runtime.h"
#include "shell/photo_types.h"
#include "shell/user_settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace modFunction {
namespace {

DialogHandlers& Handlers() {
    static DialogHandlers handlers;
    return handlers;
}

// Qt reads a filter's patterns from its last parenthesised group, splits
// them at spaces, and with HideNameFilterDetails shows the text before that
// group. Each filter is therefore its shown text followed by its patterns:
// the design's filter keeps its comma-separated form, and the others show
// their patterns as part of their names.
struct ImageFilter {
    QString shown;
    QStringList patterns;
    QString full() const { return shown + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'); }
};

QList<ImageFilter> ImageFilters() {
    const QString photos = shell::PhotoPatterns().join(QLatin1Char(' '));
    return {
        {kImageFilter, {QStringLiteral("*.bmp"), QStringLiteral("*.gif"), QStringLiteral("*.jpg"), QStringLiteral("*.png")}},
        {QStringLiteral("所有照片 (%1)").arg(photos), shell::PhotoPatterns()},
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
                platform::MsgBox(QStringLiteral("文件夹“%1”不存在。").arg(QDir::toNativeSeparators(info.absolutePath())),
                                 platform::vbExclamation, QString(), this);
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
    const QString remembered = shell::RememberedImageFilter();
    for (const ImageFilter& filter : ImageFilters()) {
        if (filter.shown == remembered) dialog.selectNameFilter(filter.full());
    }
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    StartIn(dialog, lastPhoto.isEmpty() ? shell::RememberedFolder() : QFileInfo(lastPhoto).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    const QString chosenFilter = dialog.selectedNameFilter();
    for (const ImageFilter& filter : ImageFilters()) {
        if (chosenFilter == filter.shown || chosenFilter == filter.full()) shell::RememberImageFilter(filter.shown);
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
        dialog.selectFile(ReportNameFor(photo));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

void SetDialogHandlers(DialogHandlers handlers) { Handlers() = std::move(handlers); }

QStringList ImageFilterNames() {
    QStringList names;
    for (const ImageFilter& filter : ImageFilters()) names << filter.shown;
    return names;
}

QString ReportNameFor(const QString& photo) {
    const QFileInfo info(photo);
    const QString base = info.completeBaseName();
    return (base.isEmpty() ? info.fileName() : base) + QStringLiteral(".txt");
}

bool MatchesImageFilter(const QString& fileName) {
    static const char* const kExtensions[] = {".bmp", ".gif", ".jpg", ".png"};
    for (const char* extension : kExtensions) {
        if (fileName.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) return true;
    }
    return false;
}

QString ChooseImageFile(QWidget* owner, const QString& lastPhoto) {
    const QString chosen = Handlers().openImage ? Handlers().openImage(owner) : RunOpenDialog(owner, lastPhoto);
    return chosen.trimmed();
}

QString ChooseReportFile(QWidget* owner, const QString& photo) {
    return Handlers().saveReport ? Handlers().saveReport(owner) : RunSaveDialog(owner, photo);
}

}  // namespace modFunction
