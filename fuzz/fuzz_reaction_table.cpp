// Any reaction table file reads without harm and lists no more variants
// than its counts allow.
#include <cstdlib>

#include "character/reaction_table_file.h"
#include "platform/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto doc = velmio::ProfileDocument::fromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const auto& kind : velmio::ReadReactionTable(doc).kinds)
        if (kind.size() > 32767) std::abort();
    return 0;
}
