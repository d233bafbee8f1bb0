#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace velmio {
namespace {
QScreen* ScreenOf(const QWidget* w) {
    if (w && w->screen()) return w->screen();
    return QGuiApplication::primaryScreen();
}
double PerPixel(double dpi) { return dpi > 0 ? 1440.0 / dpi : 15.0; }
}  // namespace

double TwipsPerPixelX(const QWidget* w) {
    QScreen* s = ScreenOf(w);
    return PerPixel(s ? s->logicalDotsPerInchX() : 96.0);
}

double TwipsPerPixelY(const QWidget* w) {
    QScreen* s = ScreenOf(w);
    return PerPixel(s ? s->logicalDotsPerInchY() : 96.0);
}

}  // namespace velmio
