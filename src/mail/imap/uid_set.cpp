#include "mail/imap/uid_set.h"

#include <algorithm>

namespace velmio {

QByteArray UidSet(QList<int> uids) {
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    QByteArray set;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype j = i;
        while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) ++j;
        if (!set.isEmpty()) set += ',';
        set += QByteArray::number(uids[i]);
        if (j > i) set += ':' + QByteArray::number(uids[j]);
        i = j + 1;
    }
    return set;
}

}  // namespace velmio
