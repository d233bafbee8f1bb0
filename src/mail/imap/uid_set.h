#pragma once

#include <QByteArray>
#include <QList>

namespace velmio {

// An IMAP sequence set of UIDs, in order, runs of neighbours as ranges
// ("3:5,9"), so a long list stays within a server's line limit.
QByteArray UidSet(QList<int> uids);

}  // namespace velmio
