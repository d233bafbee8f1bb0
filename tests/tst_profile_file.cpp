#include <QtTest>

#include "platform/cp932.h"
#include "platform/profile_file.h"
#include "support/fakes.h"

using namespace velmio;

class ProfileFileTest : public QObject {
    Q_OBJECT
private slots:
    void readsWithoutRegardToCase_data();
    void readsWithoutRegardToCase();
    void replacesInPlaceKeepingEveryOtherLine();
    void createsFileAndSectionReadableByOwnerOnly();
    void keepsPermissionsOfAnExistingFile();
    void cutsLongValuesAt1023Bytes();
    void roundTripsCodePage932();
    void survivesGarbage_data();
    void survivesGarbage();
    void valueOnOneLineEvenWithLineBreaks();
    void writesBackInTheEncodingRead_data();
    void writesBackInTheEncodingRead();
};

void ProfileFileTest::readsWithoutRegardToCase_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QByteArray file = "; comment\r\n[System]\r\n  Port = 995 \r\nMin=5\r\n[Sound]\r\n0=a.wav\r\n";
    QTest::newRow("exact") << file << "System" << "Port" << "995";
    QTest::newRow("case") << file << "SYSTEM" << "port" << "995";
    QTest::newRow("blanks around the key") << file << " system " << " PORT " << "995";
    QTest::newRow("other section") << file << "Sound" << "Port" << "";
    QTest::newRow("digit key") << file << "sound" << "0" << "a.wav";
    QTest::newRow("missing section") << file << "Message" << "NickName" << "";
    QTest::newRow("first of duplicate keys") << QByteArray("[S]\nk=1\nk=2\n") << "S" << "k" << "1";
    QTest::newRow("first of duplicate sections") << QByteArray("[S]\nk=1\n[S]\nk=2\nj=3\n") << "s" << "k" << "1";
    QTest::newRow("no final newline") << QByteArray("[S]\nk=last") << "S" << "k" << "last";
    QTest::newRow("line without =") << QByteArray("[S]\nnonsense\nk=v\n") << "S" << "k" << "v";
    QTest::newRow("Japanese") << test::Cp932("[Message]\r\nNickName=お兄ちゃん\r\n") << "Message"
                              << "NickName" << "お兄ちゃん";
}

void ProfileFileTest::readsWithoutRegardToCase() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    test::ProgramFolder folder(false);
    folder.write("a.ini", content);
    QCOMPARE(ReadIniValue(folder.file("a.ini"), section, key), expected);
}

void ProfileFileTest::replacesInPlaceKeepingEveryOtherLine() {
    test::ProgramFolder folder(false);
    const QByteArray before =
        "; keep me\r\n[System]\r\nServer=a\r\nPORT = 110\r\n\r\n; and me\r\n[Sound]\r\n0=x\r\n";
    folder.write("a.ini", before);
    WriteIniValue(folder.file("a.ini"), "system", "Port", "995");
    WriteIniValue(folder.file("a.ini"), "System", "Min", "3");
    WriteIniValue(folder.file("a.ini"), "Message", "NickName", "兄さん");
    QCOMPARE(folder.read("a.ini"),
             "; keep me\r\n[System]\r\nServer=a\r\nPort=995\r\nMin=3\r\n\r\n; and me\r\n[Sound]\r\n0=x\r\n"
             "[Message]\r\nNickName=" + test::Cp932("兄さん") + "\r\n");
}

void ProfileFileTest::createsFileAndSectionReadableByOwnerOnly() {
    test::ProgramFolder folder(false);
    WriteIniValue(folder.file("new.ini"), "System", "LoginPass", "secret");
    QCOMPARE(folder.read("new.ini"), QByteArray("[System]\r\nLoginPass=secret\r\n"));
    QCOMPARE(QFileInfo(folder.file("new.ini")).permissions() & 0x0777,
             QFileDevice::ReadUser | QFileDevice::WriteUser);
}

void ProfileFileTest::keepsPermissionsOfAnExistingFile() {
    test::ProgramFolder folder(false);
    folder.write("a.ini", "[S]\nk=1\n");
    const auto perms = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup;
    QFile::setPermissions(folder.file("a.ini"), perms | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    WriteIniValue(folder.file("a.ini"), "S", "k", "2");
    QCOMPARE(QFileInfo(folder.file("a.ini")).permissions() & 0x0777, perms);
}

void ProfileFileTest::cutsLongValuesAt1023Bytes() {
    test::ProgramFolder folder(false);
    folder.write("a.ini", "[S]\nk=" + QByteArray(1500, 'x') + "\nj=" + QByteArray(1022, 'y') +
                              test::Cp932("あ") + "\n");
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "S", "k"), QString(1023, 'x'));
    // A double-byte character that would straddle the limit is left out whole.
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "S", "j"), QString(1022, 'y'));
    // So is a UTF-8 character of three bytes.
    folder.write("u.ini", "[S]\nk=" + QByteArray(1021, 'u') + QString("あい").toUtf8() + "\n");
    QCOMPARE(ReadIniValue(folder.file("u.ini"), "S", "k"), QString(1021, 'u'));
}

void ProfileFileTest::roundTripsCodePage932() {
    QCOMPARE(EncodeCp932(QStringLiteral("①")), QByteArray("\x87\x40"));
    QCOMPARE(EncodeCp932(QStringLiteral("～")), QByteArray("\x81\x60"));
    test::ProgramFolder folder(false);
    const QString text = QStringLiteral("ﾒｰﾙ①～お兄ちゃん表");
    WriteIniValue(folder.file("a.ini"), "Message", "NickName", text);
    QVERIFY(folder.read("a.ini").contains(EncodeCp932(text)));
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "message", "nickname"), text);
}

void ProfileFileTest::survivesGarbage_data() {
    QTest::addColumn<QByteArray>("content");
    QByteArray random;
    quint32 seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        random.append(static_cast<char>(seed >> 16));
    }
    QTest::newRow("random bytes") << random;
    QTest::newRow("broken double-byte") << QByteArray("[System]\nServer=\x82\n\x81\x81\x81=\x9f\n");
    QTest::newRow("huge line") << QByteArray("[System]\nServer=" + QByteArray(300000, 'a'));
    QTest::newRow("NUL bytes") << QByteArray("[Sys\0tem]\nk=\0v\n", 16);
    QTest::newRow("unclosed section") << QByteArray("[System\nk=v\n");
}

void ProfileFileTest::survivesGarbage() {
    QFETCH(QByteArray, content);
    test::ProgramFolder folder(false);
    folder.write("a.ini", content);
    ReadIniValue(folder.file("a.ini"), "System", "Server");
    WriteIniValue(folder.file("a.ini"), "System", "Port", "110");
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "System", "Port"), QStringLiteral("110"));
    // Everything that was there is still there.
    const QByteArray after = folder.read("a.ini");
    QVERIFY(after.size() >= content.size());
}

void ProfileFileTest::valueOnOneLineEvenWithLineBreaks() {
    test::ProgramFolder folder(false);
    WriteIniValue(folder.file("a.ini"), "S", "k", "one\r\n[Evil]\ntwo");
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "S", "k"), QStringLiteral("one[Evil]two"));
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "Evil", "two"), QString());
    // Found by fuzzing: a line break in a section or key name added lines of its own.
    const QByteArray before = "[S]\nk=1\n";
    ProfileDocument doc = ProfileDocument::fromBytes(before);
    doc.setValue("S", "j\n[Evil]\nx", "v");
    doc.setValue("New\n[Evil]", "k", "v");
    QCOMPARE(doc.toBytes(), QByteArray("[S]\nk=1\nj[Evil]x=v\n[New[Evil]]\nk=v\n"));
    // And a file ending in the first byte of a UTF-8 sequence was taken for UTF-8.
    QCOMPARE(ProfileDocument::fromBytes("[M]\nNick=\xC6").value("M", "Nick"), QStringLiteral("ﾆ"));
}

void ProfileFileTest::writesBackInTheEncodingRead_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("utf8");
    const QString text = QStringLiteral("[M]\nNick=にいに\n");
    QTest::newRow("UTF-8") << text.toUtf8() << true;
    QTest::newRow("UTF-8 with byte order mark") << "\xEF\xBB\xBF" + text.toUtf8() << true;
    QTest::newRow("code page 932") << test::Cp932(text) << false;
}

void ProfileFileTest::writesBackInTheEncodingRead() {
    QFETCH(QByteArray, content);
    QFETCH(bool, utf8);
    test::ProgramFolder folder(false);
    folder.write("a.ini", content);
    QCOMPARE(ReadIniValue(folder.file("a.ini"), "M", "Nick"), QString("にいに"));
    WriteIniValue(folder.file("a.ini"), "M", "Mail", "メール①");
    const QByteArray added = utf8 ? QString("Mail=メール①\n").toUtf8() : test::Cp932("Mail=メール①\n");
    QCOMPARE(folder.read("a.ini"), content + added);
}

QTEST_GUILESS_MAIN(ProfileFileTest)
#include "tst_profile_file.moc"
