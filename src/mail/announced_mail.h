#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace velmio {

// The messages one account's part of a check reported as new, by the ids
// its session gave them; kept so that exactly these can be marked seen.
struct AnnouncedMail {
    // The account, as the settings name it.
    QString server;
    qint16 port = 0;
    QString login;
    QStringList ids;
};

}  // namespace velmio

Q_DECLARE_METATYPE(velmio::AnnouncedMail)
