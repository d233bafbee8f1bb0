#include "character/device_frame.h"

#include <QFileInfo>

#include "platform/app_paths.h"

namespace velmio {

int StripScaleFor(qreal devicePixelRatio) { return devicePixelRatio > 1.5 ? 2 : 1; }

StripFile StripFileFor(const AppPaths& paths, const QString& name, qreal devicePixelRatio) {
    const QString one = paths.DataFile(name);
    if (StripScaleFor(devicePixelRatio) == 2 && QFileInfo(one).isFile()) {
        const QFileInfo info(one);
        const QString two = info.path() + '/' + info.completeBaseName() + QStringLiteral("@2x.") +
                            info.suffix();
        if (QFileInfo(two).isFile()) return {two, 2};
    }
    return {one, 1};
}

QSize DeviceSize(const QSize& logicalSize, qreal devicePixelRatio) {
    return logicalSize * devicePixelRatio;
}

QImage FrameForDevice(const QImage& art, const QSize& logicalSize, qreal devicePixelRatio,
                      bool keyed) {
    const QSize device = DeviceSize(logicalSize, devicePixelRatio);
    QImage out;
    if (art.size() == device) {
        out = art;
    } else if (!keyed) {
        out = art.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        // Scaled with the key as transparency, so no key colour bleeds into
        // her edge, then cut back to hard edges at half coverage.
        const QImage src = art.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = src.pixel(0, 0) | 0xFF000000u;
        QImage alpha = src;
        for (int y = 0; y < alpha.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(alpha.scanLine(y));
            for (int x = 0; x < alpha.width(); ++x)
                if ((line[x] | 0xFF000000u) == key) line[x] = 0;
        }
        const QImage scaled = alpha.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                  .scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
        out = QImage(device, QImage::Format_RGB32);
        for (int y = 0; y < device.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < device.width(); ++x) {
                QRgb c = in[x] | 0xFF000000u;
                if (c == key) c ^= 0x100;  // art that happens to meet the key
                line[x] = qAlpha(in[x]) >= 128 ? c : key;
            }
        }
    }
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
}

}  // namespace velmio
