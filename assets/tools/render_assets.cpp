// Build-time renderer for Velmio's pictures, icons, reaction table and sounds.
//
//   render_assets OUTPUT_DIR [--src ASSET_SOURCE_DIR]
//
// Runs headless: it forces the offscreen platform, so no display is needed.
// Any fault in the sources (bad SVG, a frame that covers its top-left pixel,
// a table line Shift_JIS cannot carry, ...) stops the build with a message.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QMap>
#include <QPainter>
#include <QSet>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextCodec>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#ifndef VELMIO_ASSET_SOURCE_DIR
#define VELMIO_ASSET_SOURCE_DIR "."
#endif

namespace {

constexpr int kFrameW = 94;
constexpr int kFrameH = 138;
constexpr int kMinFrames = 10;

// The transparent strip's background. The window shaper treats every pixel of
// exactly the frame's top-left colour as background, so this colour must never
// appear inside the character.
const QRgb kKey = qRgb(255, 0, 255);

[[noreturn]] void fail(const QString &msg)
{
    std::fprintf(stderr, "render_assets: %s\n", qPrintable(msg));
    std::exit(1);
}

void saveImage(const QImage &img, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The strips end in .dat, so name the format instead of trusting the suffix.
    if (!img.save(path, "PNG"))
        fail(QStringLiteral("cannot write %1").arg(path));
}

QImage renderSvg(const QString &path, int w, int h)
{
    QSvgRenderer svg(path);
    if (!svg.isValid())
        fail(QStringLiteral("cannot read SVG %1").arg(path));
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&p, QRectF(0, 0, w, h));
    p.end();
    return img;
}

// ---------------------------------------------------------------- pictures

QStringList findFrames(const QString &srcDir)
{
    QStringList frames;
    for (int n = 0;; ++n) {
        const QString f = QStringLiteral("%1/character/frame%2.svg").arg(srcDir).arg(n);
        if (!QFileInfo::exists(f))
            break;
        frames << f;
    }
    if (frames.size() < kMinFrames)
        fail(QStringLiteral("found %1 character frames in %2/character, need %3")
                 .arg(frames.size()).arg(srcDir).arg(kMinFrames));
    return frames;
}

// The backdrop of one frame at scale s, its left edge at column x of the strip.
void paintBackdrop(QPainter &p, int x, int s)
{
    const int w = kFrameW * s;
    const int h = kFrameH * s;
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0.0, QColor(0xff, 0xf7, 0xec));
    g.setColorAt(1.0, QColor(0xff, 0xe9, 0xf0));
    p.fillRect(QRect(x, 0, w, h), g);
    // A border one pixel of the frame wide, so s device pixels.
    const QColor edge(0xe8, 0xc8, 0xcf);
    p.fillRect(QRect(x, 0, w, s), edge);
    p.fillRect(QRect(x, h - s, w, s), edge);
    p.fillRect(QRect(x, 0, s, h), edge);
    p.fillRect(QRect(x + w - s, 0, s, h), edge);
}

// Hard-edged version of one frame for the shaped window: each pixel is either
// the character at full opacity or the key, so no edge ever blends with the key.
QImage keyedFrame(const QImage &frame)
{
    const QImage src = frame.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        QRgb *o = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            if (qAlpha(in[x]) >= 128) {
                QRgb c = qRgb(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
                if (c == kKey)
                    c = qRgb(qRed(c), qGreen(c) ^ 1, qBlue(c));
                o[x] = c;
            } else {
                o[x] = kKey;
            }
        }
    }
    return out;
}

// The two strips at scale s: frames of 94 x 138 pixels times s, drawn from
// the vector art at that size, so the larger strip is sharp and not blown up.
void writeStrips(const QStringList &frames, const QString &outDir, int s)
{
    const int n = frames.size();
    const int w = kFrameW * s;
    const int h = kFrameH * s;
    QImage plain(w * n, h, QImage::Format_RGB32);
    QImage keyed(w * n, h, QImage::Format_RGB32);
    QPainter pp(&plain);
    QPainter kp(&keyed);
    for (int i = 0; i < n; ++i) {
        const QImage art = renderSvg(frames[i], w, h);
        const int x = i * w;

        paintBackdrop(pp, x, s);
        pp.drawImage(x, 0, art);

        const QImage k = keyedFrame(art);
        // At scale 2 the corner is a 2 x 2 block: all of it must be background.
        for (int y = 0; y < s; ++y)
            for (int cx = 0; cx < s; ++cx)
                if (k.pixel(cx, y) != kKey)
                    fail(QStringLiteral("%1 draws on its top-left pixel; the shaped window "
                                        "takes that pixel's colour as background").arg(frames[i]));
        kp.drawImage(x, 0, k);
    }
    pp.end();
    kp.end();
    const QString suffix = s == 1 ? QStringLiteral(".dat") : QStringLiteral("@%1x.dat").arg(s);
    saveImage(plain, outDir + "/velmio" + suffix);
    saveImage(keyed, outDir + "/velmio_s" + suffix);
}

void writePictures(const QString &srcDir, const QString &outDir)
{
    const QStringList frames = findFrames(srcDir);
    writeStrips(frames, outDir, 1);
    // For screens of a device pixel ratio above 1.5.
    writeStrips(frames, outDir, 2);

    // Twice the size for the about box, with real transparency.
    saveImage(renderSvg(frames[0], kFrameW * 2, kFrameH * 2), outDir + "/about.png");
}

void writeIcons(const QString &srcDir, const QString &outDir)
{
    for (const char *name : {"postbox", "postbox_letter"}) {
        const QString src = QStringLiteral("%1/icons/%2.svg").arg(srcDir, name);
        saveImage(renderSvg(src, 32, 32), QStringLiteral("%1/icons/%2.png").arg(outDir, name));
    }
}

// ---------------------------------------------------------- reaction table

// Checks the table the way the program will read it, so a typo in a key or a
// frame number that does not exist shows up here and not as a silent blank.
void checkTable(const QMap<QString, QMap<QString, QString>> &sections,
                const QMap<QString, int> &sectionLine, int frameCount)
{
    const QString nick = QStringLiteral("お兄ちゃん");
    for (const char *want : {"ExistMail", "NoMail", "Error"}) {
        const QString sec = QString::fromLatin1(want);
        if (!sections.contains(sec))
            fail(QStringLiteral("velmio.tbl.in: section [%1] is missing").arg(sec));
        const auto &keys = sections[sec];
        bool ok = false;
        const int cnt = keys.value("cnt").toInt(&ok);
        if (!ok || cnt < 1 || cnt > 10)
            fail(QStringLiteral("velmio.tbl.in line %1: [%2] needs Cnt between 1 and 10")
                     .arg(sectionLine[sec]).arg(sec));
        QSet<QString> used{QStringLiteral("cnt")};
        for (int i = 1; i <= cnt; ++i) {
            const QString d = QString::number(i % 10);
            for (const char *field : {"cg", "align", "wave", "msg"}) {
                const QString k = QString::fromLatin1(field) + d;
                if (!keys.contains(k))
                    fail(QStringLiteral("velmio.tbl.in: [%1] variant %2 has no %3 key")
                             .arg(sec).arg(i).arg(k));
                used << k;
            }
            const int cg = keys.value("cg" + d).toInt(&ok);
            if (!ok || cg < 0 || cg >= frameCount)
                fail(QStringLiteral("velmio.tbl.in: [%1] CG%2 is not a frame number (0..%3)")
                         .arg(sec, d).arg(frameCount - 1));
            const int align = keys.value("align" + d).toInt(&ok);
            if (!ok || align < 0 || align > 2)
                fail(QStringLiteral("velmio.tbl.in: [%1] Align%2 must be 0, 1 or 2").arg(sec, d));

            // The balloon is small: warn about lines that will not fit nicely.
            const QString msg = keys.value("msg" + d);
            QString said;
            if (sec == QLatin1String("ExistMail")) {
                const QString c = QStringLiteral(" 12");
                said = align == 0 ? c + msg
                     : align == 1 ? nick + QStringLiteral("に、メールは ") + c + msg
                                  : c + msg + nick;
            } else {
                said = align == 0 ? msg
                     : align == 1 ? nick + QStringLiteral("に、") + msg
                                  : msg + nick;
            }
            if (said.trimmed().size() > 22)
                std::fprintf(stderr, "render_assets: warning: long line in [%s] %d: %s\n",
                             want, i, qPrintable(said));
        }
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            if (!used.contains(it.key()))
                fail(QStringLiteral("velmio.tbl.in: [%1] key %2 belongs to no variant")
                         .arg(sec, it.key()));
    }
}

void writeTable(const QString &srcDir, const QString &outDir, int frameCount)
{
    const QString inPath = srcDir + "/velmio.tbl.in";
    QFile in(inPath);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(inPath));
    const QString source = QString::fromUtf8(in.readAll());

    QStringList outLines;
    QMap<QString, QMap<QString, QString>> sections;
    QMap<QString, int> sectionLine;
    QString current;
    const QStringList lines = source.split('\n');
    for (int ln = 0; ln < lines.size(); ++ln) {
        QString line = lines[ln];
        if (line.endsWith('\r'))
            line.chop(1);
        const QString t = line.trimmed();
        if (t.startsWith('#'))
            continue; // notes for us; the program's reader knows no comments
        if (t.isEmpty()) {
            if (!outLines.isEmpty() && !outLines.last().isEmpty())
                outLines << QString();
            continue;
        }
        if (t.startsWith('[') && t.endsWith(']')) {
            current = t.mid(1, t.size() - 2).trimmed();
            if (sections.contains(current))
                fail(QStringLiteral("velmio.tbl.in line %1: section [%2] appears twice")
                         .arg(ln + 1).arg(current));
            sections[current];
            sectionLine[current] = ln + 1;
            outLines << t;
            continue;
        }
        const int eq = t.indexOf('=');
        if (eq <= 0 || current.isEmpty())
            fail(QStringLiteral("velmio.tbl.in line %1: expected [Section] or Key=Value")
                     .arg(ln + 1));
        const QString key = t.left(eq).trimmed();
        const QString value = t.mid(eq + 1).trimmed();
        auto &sec = sections[current];
        if (sec.contains(key.toLower()))
            fail(QStringLiteral("velmio.tbl.in line %1: key %2 appears twice in [%3]")
                     .arg(ln + 1).arg(key, current));
        sec[key.toLower()] = value;
        outLines << key + '=' + value;
    }
    while (!outLines.isEmpty() && outLines.last().isEmpty())
        outLines.removeLast();

    checkTable(sections, sectionLine, frameCount);

    const QString text = outLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    QTextCodec *sjis = QTextCodec::codecForName("Shift_JIS");
    if (!sjis)
        fail(QStringLiteral("no Shift_JIS codec available"));
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    const QByteArray bytes = sjis->fromUnicode(text.constData(), text.size(), &state);
    // A character outside code page 932 would silently turn into '?' or a
    // different glyph; the round trip catches both.
    if (state.invalidChars > 0 || sjis->toUnicode(bytes) != text) {
        for (const QString &l : outLines)
            if (sjis->toUnicode(sjis->fromUnicode(l)) != l)
                fail(QStringLiteral("velmio.tbl.in: Shift_JIS cannot carry the line: %1").arg(l));
        fail(QStringLiteral("velmio.tbl.in does not survive conversion to Shift_JIS"));
    }

    QDir().mkpath(outDir);
    QFile out(outDir + "/velmio.tbl");
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(out.fileName()));
}

// ------------------------------------------------------------------ sounds

constexpr int kRate = 22050;

using Partials = std::vector<std::pair<double, double>>;

struct Sound {
    std::vector<double> s;
    explicit Sound(double seconds) : s(static_cast<size_t>(seconds * kRate), 0.0) {}

    // A note with a few partials, a quick attack and an exponential decay.
    // partials: {frequency ratio, relative level}
    void note(double start, double len, double freq, double level, double decay,
              const Partials &partials = {{1.0, 1.0}},
              double glide = 0.0)
    {
        const size_t from = static_cast<size_t>(start * kRate);
        const size_t count = static_cast<size_t>(len * kRate);
        const double attack = 0.006;
        const double release = std::min(0.03, len / 3);
        std::vector<double> phase(partials.size(), 0.0);
        for (size_t i = 0; i < count && from + i < s.size(); ++i) {
            const double t = double(i) / kRate;
            double env = std::exp(-t * decay);
            if (t < attack)
                env *= t / attack;
            if (t > len - release)
                env *= std::max(0.0, (len - t) / release);
            const double f = freq * (1.0 + glide * t / len);
            double v = 0;
            size_t k = 0;
            for (const auto &pr : partials) {
                phase[k] += 2 * M_PI * f * pr.first / kRate;
                v += pr.second * std::sin(phase[k]);
                ++k;
            }
            s[from + i] += level * env * v;
        }
    }

    // Peak to a comfortable level, with short fades at both ends so the
    // player never starts or stops on a click.
    QByteArray wav(double peak = 0.6) const
    {
        double m = 0;
        for (double v : s)
            m = std::max(m, std::abs(v));
        const double gain = m > 0 ? peak / m : 0;
        const size_t fade = kRate / 200; // 5 ms
        QByteArray pcm;
        pcm.reserve(int(s.size() * 2));
        for (size_t i = 0; i < s.size(); ++i) {
            double v = s[i] * gain;
            if (i < fade)
                v *= double(i) / fade;
            if (s.size() - 1 - i < fade)
                v *= double(s.size() - 1 - i) / fade;
            const qint16 q = qint16(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
            pcm.append(char(q & 0xff)).append(char((q >> 8) & 0xff));
        }

        auto le32 = [](QByteArray &b, quint32 v) {
            for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xff));
        };
        auto le16 = [](QByteArray &b, quint16 v) {
            b.append(char(v & 0xff)).append(char(v >> 8));
        };
        QByteArray out("RIFF");
        le32(out, 36 + pcm.size());
        out.append("WAVEfmt ");
        le32(out, 16);           // fmt chunk size
        le16(out, 1);            // PCM
        le16(out, 1);            // mono
        le32(out, kRate);
        le32(out, kRate * 2);    // bytes per second
        le16(out, 2);            // block align
        le16(out, 16);           // bits per sample
        out.append("data");
        le32(out, pcm.size());
        return out + pcm;
    }
};

// Equal-tempered pitch from a MIDI note number.
double pitch(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

const Partials kBell{{1, 1}, {2, 0.35}, {3.01, 0.12}, {4.2, 0.05}};
const Partials kSoft{{1, 1}, {2, 0.15}, {3, 0.05}};
const Partials kPluck{{1, 1}, {2, 0.5}, {3, 0.25}, {4, 0.1}};

void writeSounds(const QString &outDir)
{
    const QString dir = outDir + "/sounds";
    QDir().mkpath(dir);
    auto save = [&](const char *name, const Sound &snd) {
        QFile f(dir + '/' + name);
        const QByteArray data = snd.wav();
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
            fail(QStringLiteral("cannot write %1").arg(f.fileName()));
    };

    { // "なぁに？": a bright rising two-note chime
        Sound s(0.75);
        s.note(0.00, 0.40, pitch(81), 0.8, 7, kBell);  // A5
        s.note(0.14, 0.61, pitch(88), 0.8, 5, kBell);  // E6
        save("greeting.wav", s);
    }
    { // check start: three soft ticks
        Sound s(0.42);
        for (int i = 0; i < 3; ++i)
            s.note(0.02 + i * 0.13, 0.07, pitch(84 + (i == 2 ? 2 : 0)), 0.6, 45, kSoft);
        save("wait.wav", s);
    }
    { // mail is here: happy rising arpeggio C E G C
        Sound s(0.85);
        const int notes[] = {72, 76, 79, 84};
        for (int i = 0; i < 4; ++i)
            s.note(i * 0.09, i == 3 ? 0.58 : 0.3, pitch(notes[i]), 0.7, i == 3 ? 5 : 9, kPluck);
        save("mail.wav", s);
    }
    { // no mail: a gentle falling pair
        Sound s(0.8);
        s.note(0.00, 0.36, pitch(76), 0.7, 6, kSoft); // E5
        s.note(0.26, 0.54, pitch(72), 0.7, 5, kSoft); // C5
        save("nomail.wav", s);
    }
    { // lots of mail: a quick trill, then a bright chord
        Sound s(0.96);
        for (int i = 0; i < 8; ++i)
            s.note(i * 0.05, 0.07, pitch(i % 2 ? 81 : 79), 0.5, 20, kPluck);
        for (int n : {72, 76, 79, 84})
            s.note(0.42, 0.54, pitch(n), 0.35, 4.5, kBell);
        save("manymail.wav", s);
    }
    { // error: two low, soft, slightly sagging boops
        Sound s(0.62);
        s.note(0.00, 0.22, pitch(57), 0.8, 6, kSoft, -0.05); // A3
        s.note(0.28, 0.32, pitch(52), 0.8, 6, kSoft, -0.06); // E3
        save("error.wav", s);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // A build step has no display; the offscreen platform is all we need.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString outDir;
    QString srcDir = QStringLiteral(VELMIO_ASSET_SOURCE_DIR);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--src") && i + 1 < args.size())
            srcDir = args[++i];
        else if (outDir.isEmpty() && !args[i].startsWith('-'))
            outDir = args[i];
        else
            fail(QStringLiteral("usage: render_assets OUTPUT_DIR [--src ASSET_SOURCE_DIR]"));
    }
    if (outDir.isEmpty())
        fail(QStringLiteral("usage: render_assets OUTPUT_DIR [--src ASSET_SOURCE_DIR]"));
    if (!QDir().mkpath(outDir))
        fail(QStringLiteral("cannot create %1").arg(outDir));

    writePictures(srcDir, outDir);
    writeIcons(srcDir, outDir);
    writeTable(srcDir, outDir, findFrames(srcDir).size());
    writeSounds(outDir);
    return 0;
}
