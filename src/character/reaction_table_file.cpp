#include "character/reaction_table_file.h"

#include <QFile>
#include <algorithm>
#include <cstdio>

#include "core/app_state.h"
#include "core/value_conversion.h"
#include "platform/profile_file.h"

namespace velmio {

void LoadReactionTable(AppState& state) {
    const QString path = state.FilePath(QStringLiteral("velmio.tbl"));
    state.reactions = ReactionTable{};
    if (!QFile::exists(path)) return;
    const ProfileDocument doc = ProfileDocument::load(path);
    const char* names[3] = {"ExistMail", "NoMail", "Error"};
    for (int k = 0; k < 3; ++k) {
        const QString section = QLatin1String(names[k]);
        const QString cntText = doc.value(section, "Cnt");
        const auto cnt = ToInt16(cntText);
        if (!cnt && !cntText.trimmed().isEmpty()) {
            std::fprintf(stderr, "velmio: %s of velmio.tbl has no usable Cnt; no variants\n", names[k]);
        }
        // A negative count lists nothing.
        const int count = std::max<int>(0, cnt.value_or(0));
        QVector<Reaction>& list = state.reactions.kinds[size_t(k)];
        for (int i = 1; i <= count; ++i) {
            // Only ten distinct variants: the key ends in the last digit of i.
            const QString d = QString::number(i % 10);
            const auto cg = ToInt16(doc.value(section, "CG" + d));
            const auto align = ToInt16(doc.value(section, "Align" + d));
            if (!cg || !align) {
                std::fprintf(stderr, "velmio: %s variant %d of velmio.tbl skipped: unusable CG or Align\n",
                             names[k], i);
                continue;
            }
            list.append(Reaction{*cg, *align, doc.value(section, "Wave" + d),
                                 doc.value(section, "Msg" + d)});
        }
    }
}

}  // namespace velmio
