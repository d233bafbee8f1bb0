// Any bytes from a server, fed whole and fed in pieces whose sizes the input
// gives: the same responses, together the start of what arrived with no
// whole one left behind, each parsed or refused without harm.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

#include "mail/imap/imap_response.h"

using velmio::ImapReplyFramer;
using velmio::ImapValue;

namespace {

QList<QByteArray> Drain(ImapReplyFramer& framer) {
    QList<QByteArray> replies;
    while (auto reply = framer.TakeReply()) replies << *reply;
    return replies;
}

// Walks what was read as a client would look things up in it.
void Visit(const QList<ImapValue>& values) {
    for (const ImapValue& v : values) {
        v.Number();
        if (v.kind == ImapValue::Kind::List) Visit(v.list);
    }
    velmio::FindItem(values, "UID");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The first byte says how many piece sizes follow (1 to 8), taken in
    // turn; a size of 0 stands for 256. The rest is the stream.
    const std::vector<uint8_t> count = in.ConsumeBytes<uint8_t>(1);
    std::vector<uint8_t> pieces = in.ConsumeBytes<uint8_t>(count.empty() ? 1 : count[0] % 8 + 1);
    if (pieces.empty()) pieces.push_back(1);
    const QByteArray stream = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    ImapReplyFramer whole;
    whole.Append(stream);
    const QList<QByteArray> expected = Drain(whole);

    ImapReplyFramer split;
    QList<QByteArray> got;
    for (qsizetype at = 0, i = 0; at < stream.size(); ++i) {
        const uint8_t piece = pieces[size_t(i) % pieces.size()];
        const qsizetype n = piece != 0 ? piece : 256;
        split.Append(stream.mid(at, n));
        got += Drain(split);
        at += n;
    }
    if (got != expected || split.Overlong() != whole.Overlong()) std::abort();

    QByteArray taken;
    for (const QByteArray& reply : expected) {
        if (!reply.endsWith('\n')) std::abort();
        taken += reply;
        if (const auto r = velmio::ParseImapResponse(reply)) {
            Visit(r->values);
            Visit(r->codeValues);
        }
    }
    if (!stream.startsWith(taken)) std::abort();
    // Nothing whole is left behind.
    ImapReplyFramer rest;
    rest.Append(stream.mid(taken.size()));
    if (!whole.Overlong() && rest.TakeReply()) std::abort();
    return 0;
}
