#include "character/form4.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <limits>
#include <stdexcept>

#include "character/balloon_window.h"
#include "character/device_frame.h"
#include "character/window_shape.h"
#include "core/app_state.h"
#include "platform/message_box.h"
#include "platform/window_screen.h"

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
    QImage image = reader.read();
    // The reader takes "@2x" in a name as a device pixel ratio; strips are
    // cut in pixels of the file, whatever its name.
    image.setDevicePixelRatio(1);
    return image;
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
    loadedRatio_ = devicePixelRatioF();
    const auto load = [&](const QString& name) {
        const StripFile file = StripFileFor(state_.paths, name, loadedRatio_);
        strip_ = LoadPictureFile(file.path);
        stripScale_ = file.scale;
    };
    if (state_.settings.Clearness) {
        load(QStringLiteral("velmio_s.dat"));
        keyedStrip_ = !strip_.isNull();
    }
    if (strip_.isNull()) load(QStringLiteral("velmio.dat"));
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
    const int s = stripScale_;
    QImage art(kFrameWidth * s, kFrameHeight * s, QImage::Format_RGB32);
    art.fill(Qt::white);
    if (!strip_.isNull()) {
        QPainter p(&art);
        p.drawImage(QPoint(0, 0), strip_, QRect(x * s, 0, kFrameWidth * s, kFrameHeight * s));
    }
    const bool shaped = state_.settings.Clearness && keyedStrip_;
    frame_ = FrameForDevice(art, size(), loadedRatio_, shaped);
    shownFrame_ = n;
    // Only the key-colour strip has a background to cut away; a mode switched
    // on while running takes effect with that strip at the next start.
    if (shaped) ShapeWindowFromPicture(n);
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
    const qreal ratio = frame.devicePixelRatio();
    const std::optional<QRegion> region = ShapeRegionFromFrame(
        frame,
        [&] {
            QCoreApplication::processEvents();
            return stillCurrent();
        },
        ratio);
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
    SetWindowShape(this, *region, ratio);
}

void Form4::SetTextFormPosition() {
    balloonPlacedFrom_ = pos();
    if (!balloon_) return;
    balloon_->StandBesideCharacter(y() + height() / 2);
}

void Form4::PlacePartner() {
    KeepWhollyOnScreen(this);  // a drop half off the screen
    SetTextFormPosition();
    RaiseBalloon();  // the window manager raised her at the press
}

void Form4::RaiseBalloon() {
    if (balloon_ && balloon_->isVisible()) balloon_->raise();
}

bool Form4::event(QEvent* e) {
    // Raised by the window manager (a click, the window list): her words come
    // along rather than stay behind another window, where a window manager
    // does not keep a transient above its window by itself.
    if (e->type() == QEvent::WindowActivate) RaiseBalloon();
    return PartnerWindow::event(e);
}

void Form4::moveEvent(QMoveEvent*) {
    // Moved by someone else than us (the window manager keeping her off a top
    // bar, a screen gone): the balloon follows. While she is dragged it waits
    // for the drop.
    if (!dragging() && pos() != balloonPlacedFrom_) SetTextFormPosition();
}

void Form4::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QPoint(0, 0), frame_);
}

void Form4::showEvent(QShowEvent* e) {
    PartnerWindow::showEvent(e);
    if (!followsScreen_ && windowHandle()) {
        followsScreen_ = true;
        connect(windowHandle(), &QWindow::screenChanged, this, &Form4::FollowRatio, Qt::QueuedConnection);
    }
    // The strip was chosen before the window knew its screen.
    if (devicePixelRatioF() != loadedRatio_) QTimer::singleShot(0, this, &Form4::FollowRatio);
}

void Form4::FollowRatio() {
    if (strip_.isNull() || devicePixelRatioF() == loadedRatio_) return;
    const int shown = shownFrame_;
    Load();
    if (shown > 0) ShowPicture(shown);
}

}  // namespace velmio
