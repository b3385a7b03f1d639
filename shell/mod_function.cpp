#include "shell/mod_function.h"

#include "platform/runtime.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace modFunction {
namespace {

DialogHandlers& Handlers() {
    static DialogHandlers handlers;
    return handlers;
}

// Qt reads a filter's patterns from the last parenthesised group and splits
// them at spaces; the shown text keeps its comma-separated form and the real
// patterns follow as hidden details.
QString ImageFilterWithPatterns() {
    return kImageFilter + QStringLiteral(" (*.bmp *.gif *.jpg *.png)");
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

QString RunOpenDialog(QWidget* owner) {
    QFileDialog dialog(owner, kImageTitle);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // One file, and a typed name is taken as typed even when no such file exists.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(ImageFilterWithPatterns());
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString RunSaveDialog(QWidget* owner) {
    ReportDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(kReportFilter);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

void SetDialogHandlers(DialogHandlers handlers) { Handlers() = std::move(handlers); }

bool MatchesImageFilter(const QString& fileName) {
    static const char* const kExtensions[] = {".bmp", ".gif", ".jpg", ".png"};
    for (const char* extension : kExtensions) {
        if (fileName.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) return true;
    }
    return false;
}

QString ChooseImageFile(QWidget* owner) {
    const QString chosen = Handlers().openImage ? Handlers().openImage(owner) : RunOpenDialog(owner);
    return chosen.trimmed();
}

QString ChooseReportFile(QWidget* owner) {
    return Handlers().saveReport ? Handlers().saveReport(owner) : RunSaveDialog(owner);
}

}  // namespace modFunction
