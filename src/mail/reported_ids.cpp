#include "mail/reported_ids.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace velmio {

ReportedIds::ReportedIds(const QString& folder, const QString& server, quint16 port, const QString& login) {
    // One file an account; the name tells nothing of the account itself.
    const QByteArray account = (server.trimmed().toLower() + ':' + QString::number(port) + ':' + login).toUtf8();
    path_ = folder + QStringLiteral("/reported-") +
            QString::fromLatin1(QCryptographicHash::hash(account, QCryptographicHash::Sha256).toHex().left(16)) +
            QStringLiteral(".ids");
}

QSet<QString> ReportedIds::Load() const {
    QSet<QString> ids;
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return ids;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) ids.insert(QString::fromLatin1(line.trimmed()));
    return ids;
}

bool ReportedIds::Save(const QStringList& ids) const {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    for (const QString& id : ids) file.write(id.toLatin1() + '\n');
    return file.commit();
}

std::optional<QList<std::pair<int, QString>>> ParseUidlReply(const QByteArray& reply) {
    if (!reply.startsWith("+OK")) return std::nullopt;
    QList<std::pair<int, QString>> ids;
    const QList<QByteArray> lines = reply.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line == ".") return ids;
        const QList<QByteArray> words = line.split(' ');
        bool ok = false;
        const int number = words.value(0).toInt(&ok);
        // Ids are printable ASCII (RFC 1939); anything else is no listing.
        if (!ok || number <= 0 || words.size() < 2 || words[1].isEmpty() ||
            std::any_of(words[1].begin(), words[1].end(), [](char c) { return c < 0x21 || c > 0x7e; }))
            return std::nullopt;
        ids.append({number, QString::fromLatin1(words[1])});
    }
    return std::nullopt;  // no end line
}

}  // namespace velmio
