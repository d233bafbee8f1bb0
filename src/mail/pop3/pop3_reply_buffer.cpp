#include "mail/pop3/pop3_reply_buffer.h"

#include <algorithm>

namespace velmio {

void Pop3ReplyBuffer::Clear() {
    data_.clear();
    listingScan_ = 0;
}

bool Pop3ReplyBuffer::Overlong() const {
    const qsizetype firstEnd = data_.indexOf('\n');
    return (firstEnd < 0 ? data_.size() : firstEnd) > kMaxLine || data_.size() > kMaxListing;
}

QByteArray Pop3ReplyBuffer::TakeFront(qsizetype n) {
    QByteArray reply = data_.left(n);
    data_.remove(0, n);
    listingScan_ = 0;
    return reply;
}

std::optional<QByteArray> Pop3ReplyBuffer::TakeReply(bool listing) {
    const qsizetype firstEnd = data_.indexOf('\n');
    if (firstEnd < 0) return std::nullopt;
    // An error reply is one line even where a listing was asked for.
    if (!listing || !data_.startsWith("+OK")) return TakeFront(firstEnd + 1);

    // Resume where the last arrival left off, so a long listing is scanned once.
    qsizetype pos = std::max(listingScan_, firstEnd + 1);
    for (;;) {
        const qsizetype nl = data_.indexOf('\n', pos);
        if (nl < 0) {
            listingScan_ = pos;
            return std::nullopt;
        }
        qsizetype len = nl - pos;
        if (len > 0 && data_[nl - 1] == '\r') --len;
        if (len == 1 && data_[pos] == '.') return TakeFront(nl + 1);
        pos = nl + 1;
    }
}

}  // namespace velmio
