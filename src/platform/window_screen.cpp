#include "platform/window_screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace velmio {

QList<QRect> AvailableAreas() {
    QList<QRect> areas;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) areas << primary->availableGeometry();
    for (QScreen* s : QGuiApplication::screens())
        if (s != primary) areas << s->availableGeometry();
    return areas;
}

QRect WhollyInside(const QRect& window, const QList<QRect>& areas) {
    if (areas.isEmpty()) return window;
    QRect area = areas.first();
    qint64 most = 0;
    for (const QRect& a : areas) {
        const QRect common = a.intersected(window);
        const qint64 size = qint64(common.width()) * common.height();
        if (size > most) {
            most = size;
            area = a;
        }
    }
    const int x = qMax(area.left(), qMin(window.x(), area.right() + 1 - window.width()));
    const int y = qMax(area.top(), qMin(window.y(), area.bottom() + 1 - window.height()));
    return QRect(QPoint(x, y), window.size());
}

bool KeepWhollyOnScreen(QWidget* window) {
    const QRect now = window->frameGeometry();
    const QRect inside = WhollyInside(now, AvailableAreas());
    if (inside == now) return false;
    window->move(window->pos() + inside.topLeft() - now.topLeft());
    return true;
}

}  // namespace velmio
