#include "shell/main_menu.h"

#include "platform/messages.h"
#include "shell/startup_strings.h"

#include <QAction>

namespace viewer {

MainMenu::MainMenu(QWidget* parent) : QMenu(QStringLiteral("菜单1"), parent) {
    aboutAction_ = addAction(QStringLiteral("关于(&A)"));
    connect(aboutAction_, &QAction::triggered, this, &MainMenu::showAbout);
}

void MainMenu::popUpRightAligned(const QPoint& topRight) {
    ensurePolished();
    exec(QPoint(topRight.x() - sizeHint().width(), topRight.y()));
}

void MainMenu::showAbout() {
    const std::array<std::string, 2>& lines = startupStrings().contactLines;
    platform::showMessage(
        QString::fromStdString(lines[0]) + QLatin1Char('\n') + QString::fromStdString(lines[1]),
        platform::MessageIcon::Information);
}

}  // namespace viewer
