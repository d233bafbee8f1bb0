#pragma once

#include <QString>
#include <QVector>
#include <array>

namespace velmio {

enum class EventKind { ExistMail = 0, NoMail = 1, Error = 2 };

// One reaction of the character: picture, nickname placement, wave, line.
struct Reaction {
    qint16 CG = 0;
    qint16 Align = 0;
    QString Wave;
    QString Msg;
};

// The variants of each event kind, index 0 holding variant 1.
struct ReactionTable {
    std::array<QVector<Reaction>, 3> kinds;
    const QVector<Reaction>& of(EventKind k) const { return kinds[static_cast<size_t>(k)]; }
    QVector<Reaction>& of(EventKind k) { return kinds[static_cast<size_t>(k)]; }
};

}  // namespace velmio
