// The two file dialogs: pick a photo to open, name the text report.
// Both return an empty string when the user cancels.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace viewer {

// Starts in the folder of `lastPhoto`, or without one in the folder
// remembered from the last photo opened; offers the design's filter, which
// lists every photo type we open, and all files, with the filter chosen last
// (also remembered across runs) selected.
QString chooseImageFile(QWidget* owner, const QString& lastPhoto = QString());
// Starts in the folder of `photo` and proposes its name with ".txt" in place
// of its extension.
QString chooseReportFile(QWidget* owner, const QString& photo = QString());

// What the dialogs ask the user; tests answer in their place.
struct DialogHandlers {
    // Returns the text the user chose or typed, or an empty string.
    std::function<QString(QWidget* owner)> openImage;
    std::function<QString(QWidget* owner)> saveReport;
};
// Empty functions restore the real dialogs.
void setDialogHandlers(DialogHandlers handlers);

// The texts the dialogs show.
inline const QString kImageTitle = QStringLiteral("选择图像");
inline const QString kImageFilter = QStringLiteral("图像文件(*.bmp,*.gif,*.jpg,*.png)");
inline const QString kReportFilter = QStringLiteral("文本文件(*.txt)");
inline const QString kAllFilesFilter = QStringLiteral("所有文件 (*)");
// The open dialog's filters as shown, the design's first.
QStringList imageFilterNames();
// The report name proposed for `photo`: its name with ".txt" for its extension.
QString reportNameFor(const QString& photo);

}  // namespace viewer
