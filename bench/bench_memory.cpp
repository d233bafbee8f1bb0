// What she holds after start, beside the least a Qt program of her kind holds
// (bare_tray_window: a window with Japanese text and a tray icon). Both start
// side by side on the same display; once their windows are up and their
// memory has settled, both figures are read from /proc and compared, with
// where she holds more, file by file, largest first.
//   bench_memory [rounds]   (needs DISPLAY with a tray host)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Memory {
    double rss = 0, pss = 0, priv = 0;  // MiB
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The kB figures of /proc/PID/smaps_rollup.
Memory Read(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    Memory m;
    if (!f.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() < 2) continue;
        const double mib = w[1].toDouble() / 1024.0;
        if (w[0] == "Rss:") m.rss = mib;
        if (w[0] == "Pss:") m.pss = mib;
        if (w[0] == "Private_Clean:" || w[0] == "Private_Dirty:") m.priv += mib;
    }
    return m;
}

// Resident kB per mapped file of /proc/PID/smaps, and of the heap and anonymous memory.
QMap<QString, double> FileRss(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/smaps").arg(pid));
    QMap<QString, double> files;
    if (!f.open(QIODevice::ReadOnly)) return files;
    QString current;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() >= 5 && w[0].contains('-')) current = w.size() >= 6 ? QString::fromLocal8Bit(w[5]) : QStringLiteral("[anonymous]");
        else if (w[0] == "Rss:") files[current] += w[1].toDouble();
    }
    return files;
}

bool WindowShown(qint64 pid) {
    QProcess search;
    search.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(pid)});
    return search.waitForFinished(5000) && !search.readAllStandardOutput().trimmed().isEmpty();
}

// Up: a window shown, then Rss unchanged by more than 64 kB for two seconds.
bool WaitUntilSettled(const std::vector<qint64>& pids) {
    QElapsedTimer clock;
    clock.start();
    for (qint64 pid : pids)
        while (!WindowShown(pid))
            if (clock.elapsed() > 30000) return false;
            else QThread::msleep(200);
    std::vector<double> last(pids.size(), -1);
    QElapsedTimer steady;
    steady.start();
    while (clock.elapsed() < 60000) {
        bool moved = false;
        for (size_t i = 0; i < pids.size(); ++i) {
            const double rss = Read(pids[i]).rss;
            if (rss <= 0) return false;
            if (std::abs(rss - last[i]) > 64.0 / 1024) moved = true;
            last[i] = rss;
        }
        if (moved) steady.restart();
        if (steady.elapsed() >= 2000) return true;
        QThread::msleep(250);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_memory: needs DISPLAY (an X server with a tray host)\n");
        return 1;
    }
    const QString bare = QCoreApplication::applicationDirPath() + "/bare_tray_window";
    std::vector<double> ours[3], plain[3];
    QMap<QString, double> more;  // the mean of our kB minus theirs, per file
    std::printf("%-6s %22s %22s\n", "round", "velmio Rss/Pss/Priv", "bare Rss/Pss/Priv");
    for (int r = 0; r < rounds; ++r) {
        // A throwaway program folder: her settings are written beside the copy.
        QTemporaryDir folder, runtime;
        for (const char* f : {"velmio", "velmio-sound.so", "velmio.dat", "velmio_s.dat", "velmio.tbl"})
            if (!QFile::copy(QStringLiteral(VELMIO_DIST_DIR "/") + f, folder.filePath(f))) {
                std::fprintf(stderr, "bench_memory: cannot copy %s from " VELMIO_DIST_DIR "\n", f);
                return 1;
            }
        QFile::setPermissions(folder.filePath("velmio"), QFile::permissions(VELMIO_DIST_DIR "/velmio"));
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("QT_QPA_PLATFORM", "xcb");
        QProcess velmio, window;
        for (QProcess* p : {&velmio, &window}) {
            p->setProcessEnvironment(env);
            p->setProcessChannelMode(QProcess::ForwardedChannels);
        }
        velmio.start(folder.filePath("velmio"), {});
        window.start(bare, {});
        if (!velmio.waitForStarted(5000) || !window.waitForStarted(5000) ||
            !WaitUntilSettled({velmio.processId(), window.processId()})) {
            std::fprintf(stderr, "bench_memory: the two did not come up\n");
            return 1;
        }
        const Memory a = Read(velmio.processId()), b = Read(window.processId());
        const QMap<QString, double> mine = FileRss(velmio.processId()), theirs = FileRss(window.processId());
        for (auto it = mine.begin(); it != mine.end(); ++it)
            more[QFileInfo(it.key()).fileName()] += (it.value() - theirs.value(it.key())) / rounds;
        std::printf("%-6d %8.1f %6.1f %6.1f %8.1f %6.1f %6.1f\n", r + 1, a.rss, a.pss, a.priv, b.rss, b.pss, b.priv);
        ours[0].push_back(a.rss), ours[1].push_back(a.pss), ours[2].push_back(a.priv);
        plain[0].push_back(b.rss), plain[1].push_back(b.pss), plain[2].push_back(b.priv);
        velmio.terminate();
        window.terminate();
        velmio.waitForFinished(5000);
        window.waitForFinished(5000);
    }
    const char* names[] = {"Rss", "Pss", "Private"};
    std::printf("\nmedian of %d rounds, MiB: %8s %8s %8s %8s\n", rounds, "velmio", "bare", "more", "ratio");
    for (int i = 0; i < 3; ++i) {
        const double o = Median(ours[i]), p = Median(plain[i]);
        std::printf("%-27s %8.1f %8.1f %8.1f %7.2fx\n", names[i], o, p, o - p, o / p);
    }
    std::vector<std::pair<double, QString>> files;
    for (auto it = more.begin(); it != more.end(); ++it) files.push_back({it.value(), it.key()});
    std::sort(files.rbegin(), files.rend());
    std::printf("\nwhere velmio holds more, resident kB more than the bare window:\n");
    for (size_t i = 0; i < files.size() && i < 25 && files[i].first >= 32; ++i)
        std::printf("%8.0f  %s\n", files[i].first, qPrintable(files[i].second));
    return 0;
}
