#include "support/desktop.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace velmio::test {

namespace {
const QString kScript = QStringLiteral(VELMIO_SOURCE_DIR "/scripts/compositor");
}

Desktop::Desktop(const QString& kind) : kind_(kind) {
    // KWin runs as another user, who must reach the folder.
    QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ReadOther | QFile::ExeOther);
    QProcess start;
    start.start(kScript, {"start", kind, dir_.path()});
    start.waitForFinished(60000);
    error_ = QString::fromLocal8Bit(start.readAllStandardError());
    if (start.exitStatus() != QProcess::NormalExit || start.exitCode() != 0) return;
    env_ = QProcessEnvironment::systemEnvironment();
    QFile file(dir_.filePath("env"));
    if (!file.open(QIODevice::ReadOnly)) return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) env_.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    env_.insert("QT_QPA_PLATFORM", "xcb");
    env_.remove("WAYLAND_DISPLAY");
    started_ = true;
}

Desktop::~Desktop() { QProcess::execute(kScript, {"stop", dir_.path()}); }

QString Desktop::run(const QString& program, const QStringList& args, int timeoutMs) const {
    QProcess p;
    p.setProcessEnvironment(env_);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) p.kill();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QList<XWindow> Desktop::windows(const QString& wmClass) const {
    // "_NET_CLIENT_LIST_STACKING(WINDOW): window id # 0x..., 0x..."
    const QStringList stacking = run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"})
                                     .section('#', 1).split(',', Qt::SkipEmptyParts);
    QList<XWindow> found;
    const QStringList ids = run("xdotool", {"search", "--onlyvisible", "--class", wmClass}).split('\n', Qt::SkipEmptyParts);
    static const QRegularExpression number(QStringLiteral("(Absolute upper-left X|Absolute upper-left Y|Width|Height):\\s+(-?\\d+)"));
    for (const QString& decimal : ids) {
        XWindow w;
        w.id = QStringLiteral("0x%1").arg(decimal.toULong(), 0, 16);
        QList<int> v;
        for (auto m = number.globalMatch(run("xwininfo", {"-id", w.id})); m.hasNext();) v << m.next().captured(2).toInt();
        if (v.size() != 4) continue;
        w.rect = QRect(v[0], v[1], v[2], v[3]);
        w.above = run("xprop", {"-id", w.id, "_NET_WM_STATE"}).contains("_NET_WM_STATE_ABOVE");
        for (int i = 0; i < stacking.size(); ++i)
            if (stacking[i].trimmed().toULong(nullptr, 16) == decimal.toULong()) w.stack = i;
        found << w;
    }
    std::sort(found.begin(), found.end(), [](const XWindow& a, const XWindow& b) { return a.stack < b.stack; });
    return found;
}

QString Desktop::eval(const QString& script) const {
    // "(true, 'result')"
    const QString out = run("gdbus", {"call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                                      "/org/gnome/Shell", "--method", "org.gnome.Shell.Eval", script});
    if (!out.startsWith("(true, ")) return QString();
    return out.mid(8, out.size() - 8 - 3);
}

bool Desktop::screenshot(const QString& path) const {
    return run("gdbus", {"call", "--session", "--dest", "org.gnome.Shell.Screenshot", "--object-path",
                         "/org/gnome/Shell/Screenshot", "--method", "org.gnome.Shell.Screenshot.Screenshot",
                         "false", "false", path})
        .startsWith("(true");
}

}  // namespace velmio::test
