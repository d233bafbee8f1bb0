#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace velmio {

// Profile (INI) files as the program has always stored them: code page 932 on
// disk (UTF-8 when a file read was UTF-8 with non-ASCII text, and then
// written back so), section and key names matched without regard to case, values cut at
// 1,023 bytes. Writing replaces one line in place and keeps every other line,
// comment and line end exactly as it was.
class ProfileDocument {
public:
    static constexpr int kMaxValueBytes = 1023;

    // A missing or unreadable file gives an empty document.
    static ProfileDocument load(const QString& path);
    static ProfileDocument fromBytes(QByteArray content);

    // Empty text when the section or key is missing.
    QString value(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);
    // The section's key names, in file order.
    QStringList keys(const QString& section) const;
    bool hasSection(const QString& section) const;
    // Takes the section out with all its lines, up to the next section.
    void removeSection(const QString& section);
    // Gives the section another name; its lines stay as they are.
    void renameSection(const QString& from, const QString& to);

    // Atomic replace; a new file is created readable by its owner only, since
    // it may hold a password.
    bool save(const QString& path) const;

    QByteArray toBytes() const;
    bool IsUtf8() const { return utf8_; }

private:
    struct Found {
        int sectionLine = -1;  // index of the "[section]" line, -1 when missing
        int keyLine = -1;      // index of the key line, -1 when missing
        int lastLine = -1;     // last key line of the section, or its header
    };
    Found find(const QString& section, const QString& key) const;

    QList<QByteArray> lines_;  // without their '\n'; a '\r' stays part of the line
    bool finalNewline_ = true;
    QByteArray newline_ = "\r\n";
    bool utf8_ = false;
    QByteArray bom_;  // a UTF-8 byte order mark the file began with
};

QString ReadIniValue(const QString& file, const QString& section, const QString& key);
void WriteIniValue(const QString& file, const QString& section, const QString& key,
                   const QString& value);

}  // namespace velmio
