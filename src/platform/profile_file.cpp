#include "platform/profile_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>

#include "platform/cp932.h"

namespace velmio {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

QByteArray Trimmed(const QByteArray& bytes) {
    int from = 0;
    int to = bytes.size();
    while (from < to && IsBlank(bytes[from])) ++from;
    while (to > from && IsBlank(bytes[to - 1])) --to;
    return bytes.mid(from, to - from);
}

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// Text that is valid UTF-8 and not plain ASCII was written by a UTF-8
// editor: code page 932 Japanese practically never passes as UTF-8.
bool LooksLikeUtf8(const QByteArray& bytes) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return false;
    // Stateless: a sequence cut off at the end is an error, not a wait for more.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

QString Decode(const QByteArray& bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes) : DecodeCp932(bytes);
}

QByteArray Encode(const QString& text, bool utf8) { return utf8 ? text.toUtf8() : EncodeCp932(text); }

// At most max bytes, never splitting a character.
QByteArray Cut(const QByteArray& bytes, int max, bool utf8) {
    if (!utf8) return CutCp932(bytes, max);
    if (bytes.size() <= max) return bytes;
    int end = max;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    return bytes.left(end);
}

bool SameName(const QByteArray& raw, const QString& name, bool utf8) {
    return Decode(raw, utf8).compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

bool IsSectionLine(const QByteArray& line, QByteArray* name = nullptr) {
    const QByteArray t = Trimmed(line);
    const int close = t.indexOf(']');
    if (!t.startsWith('[') || close < 0) return false;
    if (name) *name = Trimmed(t.mid(1, close - 1));
    return true;
}

// A key line is "name = value"; comments and lines without '=' are not.
bool SplitKeyLine(const QByteArray& line, QByteArray* key, QByteArray* value) {
    const QByteArray t = Trimmed(line);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('[')) return false;
    const int eq = t.indexOf('=');
    if (eq < 0) return false;
    *key = Trimmed(t.left(eq));
    if (value) *value = Trimmed(t.mid(eq + 1));
    return true;
}

// One setting, one line: a line break in a name or value would split it.
QByteArray OneLine(const QString& text, bool utf8) { return Encode(text, utf8).replace('\r', "").replace('\n', ""); }

QByteArray KeyLine(const QString& key, const QString& value, bool utf8) {
    return OneLine(key.trimmed(), utf8) + '=' + OneLine(value, utf8);
}

}  // namespace

ProfileDocument ProfileDocument::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return fromBytes(file.readAll());
}

ProfileDocument ProfileDocument::fromBytes(QByteArray content) {
    ProfileDocument doc;
    if (content.startsWith(kUtf8Bom)) {
        doc.bom_ = kUtf8Bom;
        content.remove(0, kUtf8Bom.size());
    }
    doc.utf8_ = !doc.bom_.isEmpty() || LooksLikeUtf8(content);
    if (content.isEmpty()) return doc;
    doc.lines_ = content.split('\n');
    doc.finalNewline_ = content.endsWith('\n');
    if (doc.finalNewline_) doc.lines_.removeLast();
    doc.newline_ = doc.lines_.first().endsWith('\r') ? "\r\n" : "\n";
    return doc;
}

ProfileDocument::Found ProfileDocument::find(const QString& section, const QString& key) const {
    Found found;
    for (int i = 0; i < lines_.size(); ++i) {
        QByteArray name;
        if (!IsSectionLine(lines_[i], &name)) continue;
        if (found.sectionLine >= 0) break;  // the section has ended
        if (SameName(name, section, utf8_)) {
            found.sectionLine = i;
            found.lastLine = i;
        }
    }
    if (found.sectionLine < 0) return found;
    for (int i = found.sectionLine + 1; i < lines_.size(); ++i) {
        if (IsSectionLine(lines_[i])) break;
        QByteArray name;
        if (!SplitKeyLine(lines_[i], &name, nullptr)) continue;
        found.lastLine = i;
        if (found.keyLine < 0 && SameName(name, key, utf8_)) found.keyLine = i;
    }
    return found;
}

QString ProfileDocument::value(const QString& section, const QString& key) const {
    const Found found = find(section, key);
    if (found.keyLine < 0) return {};
    QByteArray name, value;
    SplitKeyLine(lines_[found.keyLine], &name, &value);
    return Decode(Cut(value, kMaxValueBytes, utf8_), utf8_);
}

void ProfileDocument::setValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray cr = newline_ == "\r\n" ? "\r" : "";
    const QByteArray line = KeyLine(key, value, utf8_) + cr;
    const Found found = find(section, key);
    if (found.keyLine >= 0) {
        lines_[found.keyLine] = line;
    } else if (found.sectionLine >= 0) {
        lines_.insert(found.lastLine + 1, line);
    } else {
        if (!lines_.isEmpty() && !finalNewline_) finalNewline_ = true;
        lines_.append('[' + OneLine(section.trimmed(), utf8_) + ']' + cr);
        lines_.append(line);
    }
}

QStringList ProfileDocument::keys(const QString& section) const {
    QStringList names;
    const Found found = find(section, QString());
    if (found.sectionLine < 0) return names;
    for (int i = found.sectionLine + 1; i < lines_.size() && !IsSectionLine(lines_[i]); ++i) {
        QByteArray name;
        if (SplitKeyLine(lines_[i], &name, nullptr)) names << Decode(name, utf8_);
    }
    return names;
}

bool ProfileDocument::hasSection(const QString& section) const { return find(section, QString()).sectionLine >= 0; }

void ProfileDocument::removeSection(const QString& section) {
    const Found found = find(section, QString());
    if (found.sectionLine < 0) return;
    int end = found.sectionLine + 1;
    while (end < lines_.size() && !IsSectionLine(lines_[end])) ++end;
    lines_.remove(found.sectionLine, end - found.sectionLine);
}

void ProfileDocument::renameSection(const QString& from, const QString& to) {
    const Found found = find(from, QString());
    if (found.sectionLine < 0) return;
    const QByteArray cr = lines_[found.sectionLine].endsWith('\r') ? "\r" : "";
    lines_[found.sectionLine] = '[' + OneLine(to.trimmed(), utf8_) + ']' + cr;
}

QByteArray ProfileDocument::toBytes() const {
    QByteArray out = bom_;
    for (int i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalNewline_) out += '\n';
    }
    return out;
}

bool ProfileDocument::save(const QString& path) const {
    const bool existed = QFile::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!existed) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(toBytes());
    return file.commit();
}

QString ReadIniValue(const QString& file, const QString& section, const QString& key) {
    return ProfileDocument::load(file).value(section, key);
}

void WriteIniValue(const QString& file, const QString& section, const QString& key,
                   const QString& value) {
    ProfileDocument doc = ProfileDocument::load(file);
    doc.setValue(section, key, value);
    doc.save(file);
}

}  // namespace velmio
