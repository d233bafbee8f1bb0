#include "character/form4.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QPainter>
#include <QWindow>
#include <limits>
#include <stdexcept>

#include "character/balloon_window.h"
#include "character/window_shape.h"
#include "core/app_state.h"
#include "platform/message_box.h"

namespace velmio {

QImage LoadPictureFile(const QString& path) {
    QImageReader reader(path);
    // Guessing from the content asks every image plugin, loading each; a PNG,
    // whatever its name, is known by its first bytes.
    if (reader.device() && reader.device()->open(QIODevice::ReadOnly) &&
        reader.device()->peek(8) == QByteArrayLiteral("\x89PNG\r\n\x1a\n")) {
        reader.setFormat("png");
        reader.setAutoDetectImageFormat(false);
    } else {
        reader.setDecideFormatFromContent(true);
    }
    return reader.read();
}

Form4::Form4(const AppState& state, MessageBoxes& messages, QWidget* parent)
    : PartnerWindow(true, parent),
      state_(state),
      messages_(messages) {
    setObjectName(QStringLiteral("Form4"));
    setAccessibleName(QStringLiteral("Velmio"));
    setAttribute(Qt::WA_TranslucentBackground, false);
    setFixedSize(kFrameWidth, kFrameHeight);
}

void Form4::Load() {
    // The key-colour strip when the transparent mode is on; without it she
    // stands on her ordinary picture, unshaped, rather than blank.
    keyedStrip_ = false;
    strip_ = QImage();
    if (state_.settings.Clearness) {
        strip_ = LoadPictureFile(state_.paths.DataFile(QStringLiteral("velmio_s.dat")));
        keyedStrip_ = !strip_.isNull();
    }
    if (strip_.isNull()) strip_ = LoadPictureFile(state_.paths.DataFile(QStringLiteral("velmio.dat")));
    strip_ = strip_.convertToFormat(QImage::Format_RGB32);
    ShowPicture(0);
}

void Form4::ShowPicture(int n) {
    if (state_.settings.CharHide) {
        hide();
        return;
    }
    const int x = kFrameWidth * n;
    if (x < std::numeric_limits<qint16>::min() || x > std::numeric_limits<qint16>::max())
        throw std::overflow_error("frame offset");
    ++pictureGeneration_;
    frame_ = QImage(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    frame_.fill(Qt::white);
    if (!strip_.isNull()) {
        QPainter p(&frame_);
        p.drawImage(QPoint(0, 0), strip_, QRect(x, 0, kFrameWidth, kFrameHeight));
    }
    shownFrame_ = n;
    // Only the key-colour strip has a background to cut away; a mode switched
    // on while running takes effect with that strip at the next start.
    if (state_.settings.Clearness && keyedStrip_) ShapeWindowFromPicture(n);
    update();
}

void Form4::ShapeWindowFromPicture(int n) {
    Q_UNUSED(n);  // frame_ already holds frame n
    // Pending events run at the start and after rows 0, 50 and 100. One of them
    // may show a newer picture, which then sets its own shape: this scan is
    // abandoned rather than set the older outline over the newer frame.
    const quint64 generation = pictureGeneration_;
    const QImage frame = frame_;
    const QPointer<Form4> self(this);
    const auto stillCurrent = [&] { return self && self->pictureGeneration_ == generation; };
    QCoreApplication::processEvents();
    if (!stillCurrent()) return;
    const std::optional<QRegion> region = ShapeRegionFromFrame(frame, [&] {
        QCoreApplication::processEvents();
        return stillCurrent();
    });
    if (!region) return;
    if (!PlatformShapesWindows()) {
        // The platform cannot cut the window: the previous shape stays. Told
        // once per window, not at every picture change.
        static const char* const kRefusalTold = "velmioShapeRefusalTold";
        if (property(kRefusalTold).toBool()) return;
        setProperty(kRefusalTold, true);
        messages_.show(this, QStringLiteral("フォームの変形に失敗しました。"), 0, kAppTitle);
        return;
    }
    // An empty region means "no mask" to Qt: one pixel outside the window
    // leaves nothing drawn and nothing clickable.
    setMask(region->isEmpty() ? QRegion(-1, -1, 1, 1) : *region);
}

void Form4::SetTextFormPosition() {
    if (!balloon_) return;
    balloon_->StandBesideCharacter(y() + height() / 2);
}

void Form4::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame_);
}

}  // namespace velmio
