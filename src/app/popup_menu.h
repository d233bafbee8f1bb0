#pragma once

#include <QMenu>
#include <QString>

namespace velmio {

// The one popup menu: every command of the program, by the name of its item.
class PopupMenu : public QMenu {
    Q_OBJECT
public:
    explicit PopupMenu(QWidget* parent = nullptr);

    // The item by name ("mnuMailCheck", "mnuSub", "mnuSplit0", ...).
    QAction* item(const QString& name) const;
    QMenu* countModes() const { return sub_; }
    // Without a notification area she cannot be put away: the item is greyed
    // and says why.
    void FollowTrayHost(bool present);
    static QString NoTrayReason();

signals:
    // A command was chosen; check marks are as they were before the choice.
    void command(const QString& name);

private:
    QAction* add(QMenu* menu, const char* name, const QString& caption, bool checkable = false);
    QMenu* sub_ = nullptr;
};

}  // namespace velmio
