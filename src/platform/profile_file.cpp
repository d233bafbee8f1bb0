#include "platform/profile_file.h"

#include <QFile>
#include <QSaveFile>

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

bool SameName(const QByteArray& raw, const QString& name) {
    return DecodeCp932(raw).compare(name.trimmed(), Qt::CaseInsensitive) == 0;
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
QByteArray OneLine(const QString& text) { return EncodeCp932(text).replace('\r', "").replace('\n', ""); }

QByteArray KeyLine(const QString& key, const QString& value) {
    return OneLine(key.trimmed()) + '=' + OneLine(value);
}

}  // namespace

ProfileDocument ProfileDocument::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return fromBytes(file.readAll());
}

ProfileDocument ProfileDocument::fromBytes(const QByteArray& content) {
    ProfileDocument doc;
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
        if (SameName(name, section)) {
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
        if (found.keyLine < 0 && SameName(name, key)) found.keyLine = i;
    }
    return found;
}

QString ProfileDocument::value(const QString& section, const QString& key) const {
    const Found found = find(section, key);
    if (found.keyLine < 0) return {};
    QByteArray name, value;
    SplitKeyLine(lines_[found.keyLine], &name, &value);
    return DecodeCp932(CutCp932(value, kMaxValueBytes));
}

void ProfileDocument::setValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray cr = newline_ == "\r\n" ? "\r" : "";
    const QByteArray line = KeyLine(key, value) + cr;
    const Found found = find(section, key);
    if (found.keyLine >= 0) {
        lines_[found.keyLine] = line;
    } else if (found.sectionLine >= 0) {
        lines_.insert(found.lastLine + 1, line);
    } else {
        if (!lines_.isEmpty() && !finalNewline_) finalNewline_ = true;
        lines_.append('[' + OneLine(section.trimmed()) + ']' + cr);
        lines_.append(line);
    }
}

QByteArray ProfileDocument::toBytes() const {
    QByteArray out;
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
