#include "character/reaction_table_file.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/app_state.h"
#include "core/value_conversion.h"
#include "platform/profile_file.h"

namespace velmio {

void LoadReactionTable(AppState& state) {
    const QString path = state.paths.DataFile(QStringLiteral("velmio.tbl"));
    state.reactions = QFile::exists(path) ? ReadReactionTable(ProfileDocument::load(path)) : ReactionTable{};
}

ReactionTable ReadReactionTable(const ProfileDocument& doc) {
    ReactionTable table;
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
        // Only ten distinct variants: the keys end in the last digit of the
        // number. Each is read once, however large the count.
        std::optional<Reaction> variants[10];
        for (int d = 0; d < 10; ++d) {
            if (d > count || (d == 0 && count < 10)) continue;  // never reached
            const QString n = QString::number(d);
            const auto cg = ToInt16(doc.value(section, "CG" + n));
            const auto align = ToInt16(doc.value(section, "Align" + n));
            if (cg && align) {
                variants[d] = Reaction{*cg, *align, doc.value(section, "Wave" + n), doc.value(section, "Msg" + n)};
            } else {
                std::fprintf(stderr, "velmio: %s variants ending in %d of velmio.tbl skipped: unusable CG or Align\n",
                             names[k], d);
            }
        }
        QVector<Reaction>& list = table.kinds[size_t(k)];
        for (int i = 1; i <= count; ++i)
            if (const auto& v = variants[i % 10]) list.append(*v);
    }
    return table;
}

}  // namespace velmio
