// Any greeting: the timestamp is empty or a bracketed part of it; the digest
// of any timestamp and password is 32 hexadecimal digits.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdlib>

#include "mail/pop3/apop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const QByteArray password = QByteArray::fromStdString(in.ConsumeRandomLengthString(32));
    const QByteArray greeting = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    const QByteArray stamp = velmio::ApopTimestamp(greeting);
    if (!stamp.isEmpty() &&
        (!stamp.startsWith('<') || !stamp.endsWith('>') || !greeting.contains(stamp)))
        std::abort();
    const QByteArray digest = velmio::ApopDigest(stamp, password);
    if (digest.size() != 32) std::abort();
    for (const char c : digest)
        if (!std::isxdigit(static_cast<unsigned char>(c))) std::abort();
    return 0;
}
