// Any header bytes: both fields come out short, without control characters,
// blanks at the ends or halves of surrogate pairs, the same whether lines end
// in LF or CRLF; any value decodes; a cut keeps a prefix of whole characters.
#include <QTextBoundaryFinder>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "mail/mail_header.h"

namespace {

void CheckShown(const QString& text, qsizetype max) {
    if (text.size() > max || !text.isValidUtf16()) std::abort();
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace())) std::abort();
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control) std::abort();
}

QByteArray WithCrlf(const QByteArray& bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) out += '\r';
        out += bytes[i];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int max = in.ConsumeIntegralInRange(0, 1100);
    const QByteArray bytes = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    const velmio::MailHeader header = velmio::ParseMailHeader(bytes);
    CheckShown(header.from, 1000);
    CheckShown(header.subject, 1000);
    const QByteArray crlf = WithCrlf(bytes);
    if (crlf.size() <= 64 * 1024) {
        const velmio::MailHeader same = velmio::ParseMailHeader(crlf);
        if (same.from != header.from || same.subject != header.subject) std::abort();
    }

    const QString text = velmio::DecodeHeaderText(bytes);
    CheckShown(text, bytes.size() * 2 + 2);
    const QString cut = velmio::Elide(text, max);
    if (cut.size() > max || !cut.isValidUtf16()) std::abort();
    if (cut != text && max > 0 && (!cut.endsWith(u'…') || !text.startsWith(cut.chopped(1)))) std::abort();
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(cut.size() - 1);
    if (cut != text && max > 0 && !characters.isAtBoundary()) std::abort();
    return 0;
}
