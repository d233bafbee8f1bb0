// Any reaction table file loads without harm and lists no more variants
// than its counts allow.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "character/reaction_table_file.h"
#include "core/app_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("velmio.tbl")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    velmio::AppState state;
    state.AppPath = dir.path();
    velmio::LoadReactionTable(state);
    for (const auto& kind : state.reactions.kinds)
        if (kind.size() > 32767) std::abort();
    return 0;
}
