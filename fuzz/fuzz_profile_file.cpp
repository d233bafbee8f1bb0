// Any profile file, then one key written: every line not replaced stays byte
// for byte, and reading the result back gives the written value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "platform/cp932.h"
#include "platform/profile_file.h"

using velmio::ProfileDocument;

namespace {

QList<QByteArray> Lines(QByteArray bytes) {
    if (!bytes.endsWith('\n')) bytes += '\n';
    return bytes.split('\n');
}

// A name the file format can hold: a round trip through code page 932, no
// brackets, '=', ';' or line ends, no blanks around it.
bool Storable(const QString& s, bool isValue) {
    const QByteArray b = velmio::EncodeCp932(s);
    if (velmio::DecodeCp932(b) != s || s.trimmed() != s || b.contains('\r') || b.contains('\n'))
        return false;
    if (isValue) return b.size() <= ProfileDocument::kMaxValueBytes && !s.contains(u'\t');
    return !s.isEmpty() && !b.contains('[') && !b.contains(']') && !b.contains('=') &&
           !b.contains(';') && !s.contains(u'\t');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const QString section = velmio::DecodeCp932(QByteArray::fromStdString(in.ConsumeRandomLengthString(16)));
    const QString key = velmio::DecodeCp932(QByteArray::fromStdString(in.ConsumeRandomLengthString(16)));
    const QString value = velmio::DecodeCp932(QByteArray::fromStdString(in.ConsumeRandomLengthString(64)));
    const QByteArray before = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    ProfileDocument doc = ProfileDocument::fromBytes(before);
    doc.value(section, key);
    doc.setValue(section, key, value);
    const QByteArray after = doc.toBytes();

    // Lines in common at both ends; in between one line replaced, or up to
    // two (a section and its key) added.
    const QList<QByteArray> a = Lines(before), b = Lines(after);
    qsizetype head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    if (a.size() - head - tail > 1 || b.size() - head - tail > 2) std::abort();

    // The encoding is judged from the content, so a written value may tip a
    // file of plain ASCII over (code page 932 bytes that happen to be valid
    // UTF-8); the value must read back whenever the judgement stands.
    const ProfileDocument reread = ProfileDocument::fromBytes(after);
    if (Storable(section, false) && Storable(key, false) && Storable(value, true) &&
        reread.IsUtf8() == doc.IsUtf8() && reread.value(section, key) != value)
        std::abort();
    return 0;
}
