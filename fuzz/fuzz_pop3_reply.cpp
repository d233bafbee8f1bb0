// Any bytes from a server, fed whole and fed in two parts: the same replies,
// the same counts, and nothing kept beyond what arrived.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "mail/mail_count.h"
#include "mail/pop3/pop3_reply_buffer.h"
#include "platform/cp932.h"

using velmio::Pop3ReplyBuffer;

namespace {

// Replies as a client takes them: after a listing command, every third one.
QList<QByteArray> Drain(Pop3ReplyBuffer& buffer, int& taken) {
    QList<QByteArray> replies;
    while (auto reply = buffer.TakeReply(taken % 3 == 2)) {
        replies << *reply;
        ++taken;
    }
    return replies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const size_t cut = in.ConsumeIntegral<uint16_t>();
    const QByteArray stream = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    Pop3ReplyBuffer whole;
    int wholeTaken = 0;
    whole.Append(stream);
    const QList<QByteArray> expected = Drain(whole, wholeTaken);

    Pop3ReplyBuffer split;
    int splitTaken = 0;
    const qsizetype at = qsizetype(cut % (size_t(stream.size()) + 1));
    split.Append(stream.left(at));
    QList<QByteArray> got = Drain(split, splitTaken);
    split.Append(stream.mid(at));
    got += Drain(split, splitTaken);
    if (got != expected) std::abort();

    qsizetype total = 0;
    for (const QByteArray& reply : expected) {
        total += reply.size();
        velmio::CountFromListReply(velmio::DecodeCp932(reply));
    }
    if (total > stream.size() || whole.IsEmpty() != (total == stream.size())) std::abort();
    whole.Overlong();
    return 0;
}
