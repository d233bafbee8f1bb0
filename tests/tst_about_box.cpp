#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "about/clickable_label.h"
#include "about/frm_about.h"
#include "about/sys_info.h"
#include "app/form1.h"
#include "app/program_dialogs.h"
#include "core/app_state.h"
#include "support/fakes.h"

using namespace velmio;

namespace {

const QString kNotAvailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

KeyValueTable::Value Text(const QByteArray& data) { return {kTextValue, data}; }

KeyValueTable::Value Number(qint32 v) {
    QByteArray data(4, '\0');
    qToLittleEndian(v, data.data());
    return {kNumberValue, data};
}

struct AboutFixture {
    AboutFixture() {
        services.appPath = folder.path();
        services.launcher = &launcher;
        services.messages = &messages;
        services.keys = [this] { return table; };
        services.openWithShell = [this](const QString& address) { opened << address; };
    }
    void open() {
        box = std::make_unique<frmAbout>(services);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    }
    template <typename T = QWidget>
    T* w(const char* name) const {
        T* child = box->findChild<T*>(QLatin1String(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }

    test::ProgramFolder folder;
    test::RecordingLauncher launcher;
    test::RecordingMessages messages;
    KeyValueTable table;
    QStringList opened;
    AboutServices services;
    std::unique_ptr<frmAbout> box;
};

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:
    void versionText_data();
    void versionText();
    void captionTitleAndVersion();
    void getKeyValue_data();
    void getKeyValue();
    void startSysInfo_data();
    void startSysInfo();
    void systemTableFindsAProgramOnThePath_data();
    void systemTableFindsAProgramOnThePath();
    void linksOpenTheirOwnAddresses();
    void pictureAndItsFallbacks_data();
    void pictureAndItsFallbacks();
    void okEnterAndEscClose_data();
    void okEnterAndEscClose();
    void textsFitTheirLabels();
    void menuCommandOpensTheRealBox();
};

void AboutBoxTest::versionText_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.2.3") << 1 << 2 << 3 << "ﾊﾞｰｼﾞｮﾝ 1.23";
    QTest::newRow("patch follows minor directly") << 2 << 10 << 5 << "ﾊﾞｰｼﾞｮﾝ 2.105";
    QTest::newRow("1.0.0") << 1 << 0 << 0 << "ﾊﾞｰｼﾞｮﾝ 1.00";
}

void AboutBoxTest::versionText() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, patch);
    QFETCH(QString, text);
    QCOMPARE(VersionText(major, minor, patch), text);
}

void AboutBoxTest::captionTitleAndVersion() {
    AboutFixture f;
    f.open();
    QCOMPARE(f.box->windowTitle(), QString("Velmioチェックのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(f.w<QLabel>("lblTitle")->text(), QString("Velmioチェック"));
    // The build's own version, as the project declares it.
    QCOMPARE(f.w<QLabel>("lblVersion")->text(),
             VersionText(VELMIO_VERSION_MAJOR, VELMIO_VERSION_MINOR, VELMIO_VERSION_PATCH));
    QVERIFY(f.w<QLabel>("lblVersion")->x() > f.w<QLabel>("lblTitle")->geometry().right());
}

void AboutBoxTest::getKeyValue_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("passedIn");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");
    QTest::newRow("text value") << "Tools" << "Path" << "old" << true << "/usr/bin/hardinfo";
    QTest::newRow("names in any case") << "TOOLS" << "PATH" << "" << true << "/usr/bin/hardinfo";
    QTest::newRow("text ends at its zero byte") << "Tools" << "Cut" << "" << true << "/bin/a";
    QTest::newRow("number") << "Tools" << "Count" << "" << true << "1234";
    QTest::newRow("negative number") << "Tools" << "Minus" << "" << true << "-1";
    QTest::newRow("other type leaves the text") << "Tools" << "Blob" << "kept" << true << "kept";
    QTest::newRow("1024 bytes fit") << "Tools" << "Full" << "" << true << QString(1024, 'x');
    QTest::newRow("1025 bytes do not") << "Tools" << "TooLong" << "old" << false << "";
    QTest::newRow("missing value") << "Tools" << "Nothing" << "old" << false << "";
    QTest::newRow("missing key") << "Elsewhere" << "Path" << "old" << false << "";
    QTest::newRow("key without full access") << "Locked" << "Path" << "old" << false << "";
}

void AboutBoxTest::getKeyValue() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, passedIn);
    QFETCH(bool, found);
    QFETCH(QString, text);
    KeyValueTable table;
    const RootKey root = RootKey::LocalMachine;
    table.SetValue(root, "Tools", "Path", Text("/usr/bin/hardinfo"));
    table.SetValue(root, "Tools", "Cut", Text(QByteArray("/bin/a\0/bin/b", 13)));
    table.SetValue(root, "Tools", "Count", Number(1234));
    table.SetValue(root, "Tools", "Minus", Number(-1));
    table.SetValue(root, "Tools", "Blob", {kBinaryValue, "\x01\x02"});
    table.SetValue(root, "Tools", "Full", Text(QByteArray(1024, 'x')));
    table.SetValue(root, "Tools", "TooLong", Text(QByteArray(1025, 'x')));
    table.SetValue(root, "Locked", "Path", Text("/usr/bin/secret"));
    table.DenyAccess(root, "Locked");
    QString out = passedIn;
    QCOMPARE(GetKeyValue(table, root, key, value, out), found);
    QCOMPARE(out, text);
}

void AboutBoxTest::startSysInfo_data() {
    QTest::addColumn<QString>("first");          // the tool's path under the first key; "-": none
    QTest::addColumn<bool>("firstLocked");
    QTest::addColumn<QString>("folder");         // the folder under the second key; "-": none
    QTest::addColumn<bool>("toolInFolder");      // MSINFO32.EXE lies in that folder
    QTest::addColumn<bool>("launchWorks");
    QTest::addColumn<QString>("started");        // "" nothing; "folder": the tool in the folder
    QTest::addColumn<bool>("message");
    QTest::newRow("first key") << "/usr/bin/hardinfo" << false << "-" << false << true
                               << "/usr/bin/hardinfo" << false;
    QTest::newRow("first key wins over the second") << "/usr/bin/hardinfo" << false << "folder" << true
                                                    << true << "/usr/bin/hardinfo" << false;
    QTest::newRow("first key, start fails") << "/usr/bin/gone" << false << "-" << false << false
                                            << "/usr/bin/gone" << true;
    QTest::newRow("first key empty") << "" << false << "-" << false << true << "" << true;
    QTest::newRow("second key with the tool") << "-" << false << "folder" << true << true << "folder"
                                              << false;
    QTest::newRow("first key locked, second key") << "/usr/bin/hardinfo" << true << "folder" << true
                                                  << true << "folder" << false;
    QTest::newRow("second key, folder without the tool") << "-" << false << "folder" << false << true
                                                         << "" << true;
    QTest::newRow("second key, tool fails to start") << "-" << false << "folder" << true << false
                                                     << "folder" << true;
    QTest::newRow("neither key") << "-" << false << "-" << false << true << "" << true;
}

void AboutBoxTest::startSysInfo() {
    QFETCH(QString, first);
    QFETCH(bool, firstLocked);
    QFETCH(QString, folder);
    QFETCH(bool, toolInFolder);
    QFETCH(bool, launchWorks);
    QFETCH(QString, started);
    QFETCH(bool, message);
    AboutFixture f;
    const QString toolFolder = f.folder.file("tools");
    QDir().mkpath(toolFolder);
    if (toolInFolder) {
        QFile tool(toolFolder + "/MSINFO32.EXE");
        QVERIFY(tool.open(QIODevice::WriteOnly));
    }
    if (first != "-") f.table.SetValue(RootKey::LocalMachine, kMsInfoKey, "PATH", Text(first.toUtf8()));
    if (firstLocked) f.table.DenyAccess(RootKey::LocalMachine, kMsInfoKey);
    if (folder != "-")
        f.table.SetValue(RootKey::LocalMachine, kMsInfoLocationKey, "MSINFO", Text(toolFolder.toUtf8()));
    f.launcher.succeed = launchWorks;
    f.open();
    QTest::mouseClick(f.w<QPushButton>("cmdSysInfo"), Qt::LeftButton);
    const QString expected = started == "folder" ? toolFolder + "/MSINFO32.EXE" : started;
    QCOMPARE(f.launcher.programs, expected.isEmpty() ? QStringList() : QStringList{expected});
    if (message) {
        QCOMPARE(f.messages.texts, QStringList{kNotAvailable});
        QCOMPARE(f.messages.styles, QList<int>{0});
        QCOMPARE(f.messages.captions, QStringList{kAppTitle});
    } else {
        QVERIFY(f.messages.texts.isEmpty());
    }
    QVERIFY(f.box->isVisible());
}

void AboutBoxTest::systemTableFindsAProgramOnThePath_data() {
    QTest::addColumn<QStringList>("executables");
    QTest::addColumn<QStringList>("plainFiles");
    QTest::addColumn<QString>("found");
    QTest::newRow("the first of the list") << QStringList{"kinfocenter", "hardinfo"} << QStringList{}
                                           << "hardinfo";
    QTest::newRow("a later one") << QStringList{"gnome-system-monitor"} << QStringList{}
                                 << "gnome-system-monitor";
    QTest::newRow("not executable is not a program") << QStringList{"kinfocenter"}
                                                     << QStringList{"hardinfo"} << "kinfocenter";
    QTest::newRow("none") << QStringList{} << QStringList{"hardinfo"} << "";
}

void AboutBoxTest::systemTableFindsAProgramOnThePath() {
    QFETCH(QStringList, executables);
    QFETCH(QStringList, plainFiles);
    QFETCH(QString, found);
    QTemporaryDir bin;
    for (const QString& name : executables + plainFiles) {
        QFile file(bin.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        if (executables.contains(name))
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const KeyValueTable table = SystemInfoKeys(SystemInfoPrograms(), {bin.path()});
    QString path;
    QCOMPARE(GetKeyValue(table, RootKey::LocalMachine, kMsInfoKey, "PATH", path), !found.isEmpty());
    QCOMPARE(path, found.isEmpty() ? QString() : bin.filePath(found));
}

void AboutBoxTest::linksOpenTheirOwnAddresses() {
    AboutFixture f;
    f.open();
    for (const char* name : {"Image1", "Label2", "Label4", "Label3", "lblDescription"})
        QTest::mouseClick(f.w(name), Qt::LeftButton);
    QCOMPARE(f.opened, (QStringList{kImagePageAddress, kHomePageAddress, kIllustratorAddress}));
    // Three different pages, all of this project.
    QCOMPARE(QSet<QString>(f.opened.begin(), f.opened.end()).size(), 3);
    for (const QString& address : f.opened)
        QVERIFY2(address.startsWith("https://example.org/"), qPrintable(address));
    // A press that ends outside is no click.
    auto* label = f.w("Label2");
    QTest::mousePress(label, Qt::LeftButton);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-5, -5));
    QCOMPARE(f.opened.size(), 3);
}

void AboutBoxTest::pictureAndItsFallbacks_data() {
    QTest::addColumn<bool>("portrait");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<QSize>("size");
    QTest::newRow("her portrait") << true << true << QSize(188, 276);
    QTest::newRow("resting frame of the strip") << false << true << QSize(94, 138);
    QTest::newRow("neither") << false << false << QSize(0, 0);
}

void AboutBoxTest::pictureAndItsFallbacks() {
    QFETCH(bool, portrait);
    QFETCH(bool, strip);
    QFETCH(QSize, size);
    AboutFixture f;
    if (portrait) QVERIFY(QFile::copy(QString(VELMIO_DIST_DIR) + "/about.png", f.folder.file("about.png")));
    if (!strip) QFile::remove(f.folder.file("velmio.dat"));
    f.open();
    const QImage& image = f.w<PictureLabel>("Image1")->image();
    QCOMPARE(image.size(), size);
    QVERIFY(!f.box->grab().isNull());
}

void AboutBoxTest::okEnterAndEscClose_data() {
    QTest::addColumn<int>("key");  // 0: the button is clicked
    QTest::newRow("OK clicked") << 0;
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void AboutBoxTest::okEnterAndEscClose() {
    QFETCH(int, key);
    AboutFixture f;
    f.open();
    if (key == 0)
        QTest::mouseClick(f.w<QPushButton>("cmdOK"), Qt::LeftButton);
    else
        QTest::keyClick(f.box.get(), Qt::Key(key));
    QVERIFY(!f.box->isVisible());
    QVERIFY(f.launcher.programs.isEmpty());
}

void AboutBoxTest::textsFitTheirLabels() {
    AboutFixture f;
    f.open();
    for (QLabel* label : f.box->findChildren<QLabel*>()) {
        if (qobject_cast<PictureLabel*>(label) || label->text().isEmpty()) continue;
        const QString name = label->objectName();
        if (label->wordWrap())
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                     qPrintable(name + QString(" %1 > %2").arg(label->heightForWidth(label->width())).arg(label->height())));
        else
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(name));
        QVERIFY2(f.box->rect().contains(label->geometry()), qPrintable(name));
    }
    for (QPushButton* button : f.box->findChildren<QPushButton*>())
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text().remove('&')) < button->width() - 8,
                 qPrintable(button->objectName()));
}

void AboutBoxTest::menuCommandOpensTheRealBox() {
    test::ProgramFolder folder;
    AppState state;
    state.AppPath = folder.path();
    test::FakeServices fakes;
    Services services = fakes.services();
    services.dialogs = nullptr;
    Form1 form1(state, services);
    QVERIFY(form1.Load());
    QString caption;
    qint16 modeWhileOpen = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        if (!box) return;
        poll.stop();
        caption = box->windowTitle();
        modeWhileOpen = state.DialogMode;
        QTest::mouseClick(box->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    });
    poll.start();
    form1.RunMenuCommand("mnuVersion");
    QCOMPARE(caption, QString("Velmioチェックのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(modeWhileOpen, qint16(kAboutDialog));
    QCOMPARE(state.DialogMode, qint16(kNoDialog));
    form1.hide();
}

QTEST_MAIN(AboutBoxTest)
#include "tst_about_box.moc"
