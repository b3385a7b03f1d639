// The two file dialogs: pick a photo to open, name the text report.
// Both return an empty string when the user cancels.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace modFunction {

QString ChooseImageFile(QWidget* owner);
QString ChooseReportFile(QWidget* owner);

// What the dialogs ask the user; tests answer in their place.
struct DialogHandlers {
    // Returns the text the user chose or typed, or an empty string.
    std::function<QString(QWidget* owner)> openImage;
    std::function<QString(QWidget* owner)> saveReport;
};
// Empty functions restore the real dialogs.
void SetDialogHandlers(DialogHandlers handlers);

// The texts the dialogs show.
inline const QString kImageTitle = QStringLiteral("选择图像");
inline const QString kImageFilter = QStringLiteral("图像文件(*.bmp,*.gif,*.jpg,*.png)");
inline const QString kReportFilter = QStringLiteral("文本文件(*.txt)");

// True when the file name has one of the image filter's extensions, in any case.
bool MatchesImageFilter(const QString& fileName);

}  // namespace modFunction
