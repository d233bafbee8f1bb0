#include "app/popup_menu.h"

namespace velmio {

PopupMenu::PopupMenu(QWidget* parent) : QMenu(parent) {
    setObjectName(QStringLiteral("mnuMainOption"));
    setTitle(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
    add(this, "mnuMailCheck", QStringLiteral("ﾒｰﾙが来たか教えて欲しいんだけど(&N)"));
    sub_ = new QMenu(QStringLiteral("何件来たか(&S)"), this);
    sub_->setObjectName(QStringLiteral("mnuSubMenu"));
    sub_->menuAction()->setObjectName(QStringLiteral("mnuSub"));
    addMenu(sub_);
    add(sub_, "mnuNoDiff", QStringLiteral("全部教えて(&N)"), true);
    add(sub_, "mnuDiff", QStringLiteral("前回ﾁｪｯｸ時から何件？(&T)"), true);
    add(sub_, "mnuLastTime", QStringLiteral("前回起動時から何件？(&L)"), true);
    add(sub_, "mnuUnseen", QStringLiteral("まだ教えてないのだけ(&U)"), true);
    add(this, "mnuAutoCheck", QStringLiteral("着信を見といてくれる？(&C)"), true);
    addSeparator()->setObjectName(QStringLiteral("mnuSplit0"));
    add(this, "mnuCharHide", QStringLiteral("こっそり教えて(&H)"), true);
    add(this, "mnuAlwaysActive", QStringLiteral("前面において見つめる(&T)"), true);
    add(this, "mnuReturnTary", QStringLiteral("部屋に戻す(&I)"));
    addSeparator()->setObjectName(QStringLiteral("mnuSplit"));
    add(this, "mnuOption", QStringLiteral("Velmioに教える(&O)..."));
    add(this, "mnuVersion", QStringLiteral("Velmioのﾌﾟﾛﾌｨｰﾙ(&A)"));
    addSeparator()->setObjectName(QStringLiteral("mnuSplit2"));
    add(this, "mnuExit", QStringLiteral("おやすみ…Velmio(&X)"));
    setToolTipsVisible(true);
}

QString PopupMenu::NoTrayReason() { return QStringLiteral("トレイがないので、部屋に戻すと呼び戻せません"); }

void PopupMenu::FollowTrayHost(bool present) {
    QAction* a = item(QStringLiteral("mnuReturnTary"));
    a->setEnabled(present);
    a->setToolTip(present ? QString() : NoTrayReason());
    a->setStatusTip(present ? QString() : NoTrayReason());
}

QAction* PopupMenu::add(QMenu* menu, const char* name, const QString& caption, bool checkable) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(checkable);
    connect(a, &QAction::triggered, this, [this, a] {
        // Qt has already flipped the mark; the commands decide it themselves.
        if (a->isCheckable()) a->setChecked(!a->isChecked());
        emit command(a->objectName());
    });
    return a;
}

QAction* PopupMenu::item(const QString& name) const {
    for (QAction* a : findChildren<QAction*>())
        if (a->objectName() == name) return a;
    if (sub_->menuAction()->objectName() == name) return sub_->menuAction();
    return nullptr;
}

}  // namespace velmio
