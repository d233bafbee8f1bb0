// Code page 932 both ways: any bytes decode; text settles after one trip
// through the codec; a cut keeps a prefix, whole characters only.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "platform/cp932.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int max = in.ConsumeIntegralInRange(0, 1100);
    const QByteArray bytes = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());

    const QByteArray once = velmio::EncodeCp932(velmio::DecodeCp932(bytes));
    const QByteArray twice = velmio::EncodeCp932(velmio::DecodeCp932(once));
    if (once != twice) std::abort();

    const QByteArray cut = velmio::CutCp932(bytes, max);
    if (cut.size() > max || !bytes.startsWith(cut)) std::abort();
    if (bytes.size() > max && cut.size() < max - 1) std::abort();
    return 0;
}
