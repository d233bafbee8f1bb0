#include "platform/cp932.h"

#include <QTextCodec>

namespace velmio {
namespace {
QTextCodec* Cp932() {
    static QTextCodec* codec = QTextCodec::codecForName("Shift_JIS");
    return codec;
}
}  // namespace

QString DecodeCp932(const QByteArray& bytes) {
    QTextCodec::ConverterState state(QTextCodec::DefaultConversion);
    return Cp932()->toUnicode(bytes.constData(), static_cast<int>(bytes.size()), &state);
}

QByteArray EncodeCp932(const QString& text) { return Cp932()->fromUnicode(text); }

QByteArray CutCp932(const QByteArray& bytes, int max) {
    if (bytes.size() <= max) return bytes;
    int i = 0;
    while (i < max) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        const int width = lead ? 2 : 1;
        if (i + width > max) break;
        i += width;
    }
    return bytes.left(i);
}

}  // namespace velmio
