#include "shell/frm_menu.h"

#include "platform/runtime.h"
#include "shell/mod_main.h"

#include <QAction>
#include <QMenu>

frmMenu::frmMenu() : QWidget(nullptr) {
    setAttribute(Qt::WA_DontShowOnScreen);
    menu1_ = new QMenu(QStringLiteral("菜单1"), this);
    menuAbout_ = menu1_->addAction(QStringLiteral("关于(&A)"));
    connect(menuAbout_, &QAction::triggered, this, &frmMenu::ShowAbout);
}

void frmMenu::PopupRightAligned(const QPoint& topRight) {
    menu1_->ensurePolished();
    const QPoint topLeft(topRight.x() - menu1_->sizeHint().width(), topRight.y());
    menu1_->exec(topLeft);
}

void frmMenu::ShowAbout() {
    const QString text = QString::fromStdString(modMain::ContactLines[0]) + QLatin1Char('\n') +
                         QString::fromStdString(modMain::ContactLines[1]);
    platform::MsgBox(text, platform::vbInformation);
}
