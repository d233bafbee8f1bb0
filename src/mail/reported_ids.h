#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace velmio {

// The unique ids of the messages she has already told of, for one account,
// kept across restarts in a small file beside the check logs.
class ReportedIds {
public:
    ReportedIds(const QString& folder, const QString& server, quint16 port, const QString& login);

    QSet<QString> Load() const;
    // Replaces what is kept with these ids (those still on the server, so
    // the file never grows past the mailbox). Atomic; false when it failed.
    bool Save(const QStringList& ids) const;
    const QString& path() const { return path_; }

private:
    QString path_;
};

// The "message-number unique-id" lines of a complete reply to UIDL, by
// message number; nothing when the reply is no listing.
std::optional<QList<std::pair<int, QString>>> ParseUidlReply(const QByteArray& reply);

}  // namespace velmio
