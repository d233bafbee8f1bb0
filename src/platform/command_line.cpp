#include "platform/command_line.h"

#include <QSet>
#include <xcb/xcb.h>

namespace velmio {
namespace {

// Qt's own options, which QApplication takes from the same command line
// (a session manager restarts programs with -session); those in the first
// list are followed by a value.
const QSet<QString> kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "style", "stylesheet", "display", "geometry", "name", "title",
    "visual", "qmljsdebugger"};
const QSet<QString> kQtFlags = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

// The X server that DISPLAY names answers (and lets us in).
bool XDisplayReachable(const QString& display) {
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c) xcb_disconnect(c);
    return ok;
}

}  // namespace

std::optional<int> HandleCommandLine(const QStringList& args, const QProcessEnvironment& env,
                                     QTextStream& out, QTextStream& err) {
    const QString version = QStringLiteral("%1.%2.%3")
                                .arg(VELMIO_VERSION_MAJOR)
                                .arg(VELMIO_VERSION_MINOR)
                                .arg(VELMIO_VERSION_PATCH);
    bool platformGiven = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            out << "Velmio Check " << version << Qt::endl;
            return 0;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << "Usage: velmio [--help] [--version]\n"
                   "Velmio Check: a desktop mascot who checks POP3 and IMAP mailboxes.\n"
                   "Everything else is set from her tray menu.\n"
                   "  -h, --help     show this help and end\n"
                   "  -v, --version  show the version and end"
                << Qt::endl;
            return 0;
        }
        if (!a.startsWith('-')) continue;
        // Qt takes "--style" as it takes "-style".
        const QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
        if (kQtOptionsWithValue.contains(name)) {
            platformGiven |= name == QLatin1String("platform");
            ++i;
        } else if (!kQtFlags.contains(name)) {
            err << "velmio: unknown option '" << a << "' (velmio --help lists the options)" << Qt::endl;
            return 2;
        }
    }
    const QString platform = env.value(QStringLiteral("QT_QPA_PLATFORM"));
    const QString display = env.value(QStringLiteral("DISPLAY"));
    const bool wayland = !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    const char* lack = nullptr;
    if (display.isEmpty() && !wayland && platform.isEmpty()) {
        lack = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    } else if (!platformGiven && (platform.isEmpty() || platform.startsWith(QLatin1String("xcb")))) {
        // She runs on X (XWayland on a Wayland desktop): Qt aborts when it
        // cannot reach it.
        if (display.isEmpty()) lack = "DISPLAY is not set, and XWayland is needed";
        else if (!XDisplayReachable(display)) lack = "the X display in DISPLAY cannot be reached";
    }
    if (lack) {
        err << "velmio: Velmio Check needs a graphical desktop, and no display was found (" << lack << ")."
            << Qt::endl;
        return 1;
    }
    return std::nullopt;
}

}  // namespace velmio
