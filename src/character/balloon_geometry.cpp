#include "character/balloon_geometry.h"

#include <QtGlobal>
#include <cmath>

namespace velmio {

BalloonSize BalloonSizeFor(const QString& text, double pointSize) {
    // 20 x L x S in exact thousandths of a point, then halves to even, so a
    // size such as 10.5 points never suffers a binary rounding slip.
    const qint64 thousandths = std::llround(pointSize * 1000.0);
    const qint64 scaled = 20 * static_cast<qint64>(text.size()) * thousandths;
    qint64 whole = scaled / 1000;
    const qint64 rest = scaled % 1000;
    if (rest > 500 || (rest == 500 && (whole % 2) != 0)) ++whole;
    return {whole, 40.0 * pointSize};
}

BalloonPlace BalloonBeside(const QRect& character, const QSize& balloon, int top, const QRect& screen) {
    BalloonPlace place;
    const int left = character.x() - balloon.width();
    const bool fitsLeft = left >= screen.left() && left + balloon.width() - 1 <= screen.right();
    place.atRight = !fitsLeft;
    int x = fitsLeft ? left : character.x() + character.width();
    // Room on neither side (a line wider than the screen's rest): never off the screen.
    if (!fitsLeft && x + balloon.width() - 1 > screen.right())
        x = qMax(screen.left(), screen.right() + 1 - balloon.width());
    // Higher than the screen: its top edge stays on the screen.
    const int y = qMax(screen.top(), qMin(top, screen.bottom() + 1 - balloon.height()));
    place.topLeft = QPoint(x, y);
    return place;
}

}  // namespace velmio
