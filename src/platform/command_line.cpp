#include "platform/command_line.h"

namespace velmio {

std::optional<int> HandleCommandLine(const QStringList& args, const QProcessEnvironment& env,
                                     QTextStream& out, QTextStream& err) {
    const QString version = QStringLiteral("%1.%2.%3")
                                .arg(VELMIO_VERSION_MAJOR)
                                .arg(VELMIO_VERSION_MINOR)
                                .arg(VELMIO_VERSION_PATCH);
    for (const QString& a : args.mid(1)) {
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            out << "Velmio Check " << version << Qt::endl;
            return 0;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << "Usage: velmio [--help] [--version]\n"
                   "Velmio Check: a desktop mascot who checks a POP3 mailbox.\n"
                   "Everything else is set from her tray menu.\n"
                   "  -h, --help     show this help and end\n"
                   "  -v, --version  show the version and end"
                << Qt::endl;
            return 0;
        }
    }
    // Any of the three lets Qt find a display (QT_QPA_PLATFORM may name one
    // that needs none, such as offscreen).
    if (env.value(QStringLiteral("DISPLAY")).isEmpty() &&
        env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() &&
        env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty()) {
        err << "velmio: Velmio Check needs a graphical desktop, and no display was found "
               "(neither DISPLAY nor WAYLAND_DISPLAY is set)."
            << Qt::endl;
        return 1;
    }
    return std::nullopt;
}

}  // namespace velmio
