#include <QtTest>

#include "character/reaction_table_file.h"
#include "platform/cp932.h"
#include "support/mail_fixture.h"

using namespace velmio;

// Keys CG, Align, Wave, Msg for each digit 0 to 9: CG d, Align d % 3,
// Wave wd.wav, Msg "m" d.
static QString TenVariants(const QString& section, const QString& cnt) {
    QString t = "[" + section + "]\r\nCnt=" + cnt + "\r\n";
    for (int d = 0; d <= 9; ++d)
        t += QStringLiteral("CG%1=%1\r\nAlign%1=%2\r\nWave%1=w%1.wav\r\nMsg%1=m%1\r\n").arg(d).arg(d % 3);
    return t;
}

// Each kind's variants as "CG/Align/Wave/Msg".
static QStringList Texts(const ReactionTable& table, EventKind kind) {
    QStringList out;
    for (const Reaction& r : table.of(kind))
        out << QStringLiteral("%1/%2/%3/%4").arg(r.CG).arg(r.Align).arg(r.Wave, r.Msg);
    return out;
}

// velmio.tbl as the user writes it (a null text: no file; UTF-8 when it
// begins "#utf-8", in code page 932 otherwise), read into the
// table the reactions use, which held one variant of each kind before.
static void Load(test::MailFixture& f, const QString& file) {
    if (!file.isNull()) {
        QFile out(f.state.paths.DataFile("velmio.tbl"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.startsWith("#utf-8") ? file.toUtf8() : EncodeCp932(file));
    }
    LoadReactionTable(f.state);
}

class ReactionTableTest : public QObject {
    Q_OBJECT
private slots:
    void loadedVariants_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("exist");
        QTest::addColumn<QStringList>("noMail");
        QTest::newRow("no file") << QString() << QStringList{} << QStringList{};
        QTest::newRow("one variant") << "[ExistMail]\r\nCnt=1\r\nCG1=3\r\nAlign1=1\r\nWave1=a.wav\r\nMsg1=通来てるよ\r\n"
                                     << QStringList{"3/1/a.wav/通来てるよ"} << QStringList{};
        QTest::newRow("UTF-8 from a Linux editor") << "#utf-8\n[ExistMail]\nCnt=1\nCG1=3\nAlign1=1\nWave1=♪.wav\nMsg1=通～\n"
                                                   << QStringList{"3/1/♪.wav/通～"} << QStringList{};
        QTest::newRow("missing wave and message are empty") << "[NoMail]\r\nCnt=1\r\nCG1=5\r\nAlign1=2\r\n"
                                                            << QStringList{} << QStringList{"5/2//"};
        QTest::newRow("each kind its own count")
            << TenVariants("ExistMail", "1") + TenVariants("NoMail", "3") << QStringList{"1/1/w1.wav/m1"}
            << QStringList{"1/1/w1.wav/m1", "2/2/w2.wav/m2", "3/0/w3.wav/m3"};
        QTest::newRow("tenth reads the keys ending in 0, eleventh those of 1")
            << TenVariants("ExistMail", "11")
            << QStringList{"1/1/w1.wav/m1", "2/2/w2.wav/m2", "3/0/w3.wav/m3", "4/1/w4.wav/m4",
                           "5/2/w5.wav/m5", "6/0/w6.wav/m6", "7/1/w7.wav/m7", "8/2/w8.wav/m8",
                           "9/0/w9.wav/m9", "0/0/w0.wav/m0", "1/1/w1.wav/m1"}
            << QStringList{};
        QTest::newRow("negative count lists nothing") << TenVariants("NoMail", "-2") << QStringList{} << QStringList{};
        QTest::newRow("unusable count lists nothing") << TenVariants("NoMail", "x") << QStringList{} << QStringList{};
        QTest::newRow("unusable variants are skipped")
            << "[ExistMail]\r\nCnt=4\r\nCG1=1\r\nAlign1=0\r\nCG2=x\r\nAlign2=0\r\nCG3=3\r\nCG4=4\r\nAlign4=99999\r\n"
               "[NoMail]\r\nCnt=2\r\nCG1=7\r\nAlign1=1\r\nCG2=8\r\nAlign2=2\r\n"
            << QStringList{"1/0//"} << QStringList{"7/1//", "8/2//"};
        // Found by fuzzing: the largest count with broken variants took seconds.
        QTest::newRow("largest count, ten keys read once")
            << "[ExistMail]\r\nCnt=32767\r\nCG1=x\r\n[NoMail]\r\nCnt=32767\r\nCG1=1\r\nAlign1=0\r\n"
            << QStringList{} << QStringList(3277, "1/0//");
    }

    void loadedVariants() {
        QFETCH(QString, file);
        QFETCH(QStringList, exist);
        QFETCH(QStringList, noMail);
        test::MailFixture f;
        Load(f, file);
        QCOMPARE(Texts(f.state.reactions, EventKind::ExistMail), exist);
        QCOMPARE(Texts(f.state.reactions, EventKind::NoMail), noMail);
        QCOMPARE(Texts(f.state.reactions, EventKind::Error), QStringList{});
    }

    // Our own table gives every variant one of our sounds, named relative to
    // the program folder.
    void ourTableGivesEveryVariantASound() {
        test::MailFixture f;
        QVERIFY(QFile::copy(VELMIO_DIST_DIR "/velmio.tbl", f.state.paths.DataFile("velmio.tbl")));
        LoadReactionTable(f.state);
        for (const EventKind kind : {EventKind::ExistMail, EventKind::NoMail, EventKind::Error}) {
            QVERIFY(!f.state.reactions.of(kind).isEmpty());
            for (const Reaction& r : f.state.reactions.of(kind))
                QVERIFY2(QDir::isRelativePath(r.Wave) && QFile::exists(VELMIO_DIST_DIR "/" + r.Wave), qPrintable(r.Wave));
        }
    }

    // Drawn at a moment that gives variant 11, the reaction uses the keys of variant 1.
    void elevenVariantsReuseTheKeysOfVariantOne() {
        test::MailFixture f;
        Load(f, TenVariants("ExistMail", "11"));
        bool found = false;
        for (int ms = 0; ms < 600000 && !found; ms += 997) {
            f.clock.set(QDateTime(QDate(2026, 1, 7), QTime(9, 0).addMSecs(ms)));
            found = f.draw.Draw(11) == 11;
        }
        QVERIFY(found);
        f.results.ExistMailReaction(2);
        QCOMPARE(f.shell.calls, (QStringList{"picture 1", "wave w1.wav", "say お兄ちゃんに、メールは  2m1"}));
    }
};

QTEST_GUILESS_MAIN(ReactionTableTest)
#include "tst_reaction_table.moc"
