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

KeyValueTable::Value Text(const QByteArray& data) { return {kTextValue, data}; }

struct AboutFixture {
    AboutFixture() {
        services.paths = AppPaths::ProgramFolder(folder.path());
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
    void getKeyValue_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("text");  // "old" was passed in
        QTest::newRow("text value") << "Tools" << "Path" << true << "/usr/bin/hardinfo";
        QTest::newRow("names in any case") << "TOOLS" << "PATH" << true << "/usr/bin/hardinfo";
        QTest::newRow("text ends at its zero byte") << "Tools" << "Cut" << true << "/bin/a";
        QTest::newRow("number, four bytes little-endian") << "Tools" << "Count" << true << "-1234";
        QTest::newRow("other type leaves the text") << "Tools" << "Blob" << true << "old";
        QTest::newRow("1024 bytes fit") << "Tools" << "Full" << true << QString(1024, 'x');
        QTest::newRow("1025 bytes do not") << "Tools" << "TooLong" << false << "";
        QTest::newRow("missing value") << "Tools" << "Nothing" << false << "";
        QTest::newRow("missing key") << "Elsewhere" << "Path" << false << "";
        QTest::newRow("key without full access") << "Locked" << "Path" << false << "";
    }

    void getKeyValue() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, found);
        QFETCH(QString, text);
        KeyValueTable table;
        const RootKey root = RootKey::LocalMachine;
        table.SetValue(root, "Tools", "Path", Text("/usr/bin/hardinfo"));
        table.SetValue(root, "Tools", "Cut", Text(QByteArray("/bin/a\0/bin/b", 13)));
        table.SetValue(root, "Tools", "Count", {kNumberValue, QByteArray("\x2e\xfb\xff\xff", 4)});
        table.SetValue(root, "Tools", "Blob", {kBinaryValue, "\x01\x02"});
        table.SetValue(root, "Tools", "Full", Text(QByteArray(1024, 'x')));
        table.SetValue(root, "Tools", "TooLong", Text(QByteArray(1025, 'x')));
        table.SetValue(root, "Locked", "Path", Text("/usr/bin/secret"));
        table.DenyAccess(root, "Locked");
        QString out = "old";
        QCOMPARE(GetKeyValue(table, root, key, value, out), found);
        QCOMPARE(out, text);
    }

    void startSysInfo_data() {
        // first: the program under the first key ("-": no such value; "locked":
        // a program under a key that refuses access); folder: under the
        // second key, "-" none, "empty" or holding the "tool".
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("launchWorks");
        QTest::addColumn<QString>("started");  // "tool": the one in the folder
        QTest::newRow("first key") << "/usr/bin/hardinfo" << "-" << true << "/usr/bin/hardinfo";
        QTest::newRow("first key wins over the second") << "/usr/bin/hardinfo" << "tool" << true << "/usr/bin/hardinfo";
        QTest::newRow("first key, start fails") << "/usr/bin/gone" << "-" << false << "/usr/bin/gone";
        QTest::newRow("first key empty") << "" << "tool" << true << "";
        QTest::newRow("second key with the tool") << "-" << "tool" << true << "tool";
        QTest::newRow("first key locked, second key") << "locked" << "tool" << true << "tool";
        QTest::newRow("second key, folder without the tool") << "-" << "empty" << true << "";
        QTest::newRow("second key, tool fails to start") << "-" << "tool" << false << "tool";
        QTest::newRow("neither key") << "-" << "-" << true << "";
    }

    void startSysInfo() {
        QFETCH(QString, first);
        QFETCH(QString, folder);
        QFETCH(bool, launchWorks);
        QFETCH(QString, started);
        AboutFixture f;
        const QString dir = f.folder.file("tools");
        QDir().mkpath(dir);
        if (folder == "tool") QVERIFY(QFile(dir + "/MSINFO32.EXE").open(QIODevice::WriteOnly));
        if (folder != "-") f.table.SetValue(RootKey::LocalMachine, kMsInfoLocationKey, "MSINFO", Text(dir.toUtf8()));
        if (first != "-")
            f.table.SetValue(RootKey::LocalMachine, kMsInfoKey, "PATH", Text(first == "locked" ? "/usr/bin/hardinfo" : first.toUtf8()));
        if (first == "locked") f.table.DenyAccess(RootKey::LocalMachine, kMsInfoKey);
        f.launcher.succeed = launchWorks;
        f.open();
        QTest::mouseClick(f.w<QPushButton>("cmdSysInfo"), Qt::LeftButton);
        if (started == "tool") started = dir + "/MSINFO32.EXE";
        QCOMPARE(f.launcher.programs, started.isEmpty() ? QStringList() : QStringList{started});
        // Whatever kept the program from starting, the user is told, and the box stays.
        const bool told = started.isEmpty() || !launchWorks;
        QCOMPARE(f.messages.texts, told ? QStringList{"現時点ではｼｽﾃﾑ情報を使用できません"} : QStringList());
        QCOMPARE(f.messages.styles, told ? QList<int>{0} : QList<int>());
        QCOMPARE(f.messages.captions, told ? QStringList{kAppTitle} : QStringList());
        QVERIFY(f.box->isVisible());
    }

    void systemTableFindsAProgramOnThePath_data() {
        QTest::addColumn<QStringList>("executables");
        QTest::addColumn<QStringList>("plainFiles");
        QTest::addColumn<QString>("found");
        QTest::newRow("the first of the list") << QStringList{"kinfocenter", "hardinfo"} << QStringList{} << "hardinfo";
        QTest::newRow("a later one") << QStringList{"gnome-system-monitor"} << QStringList{} << "gnome-system-monitor";
        QTest::newRow("not executable is not a program") << QStringList{"kinfocenter"} << QStringList{"hardinfo"} << "kinfocenter";
        QTest::newRow("none") << QStringList{} << QStringList{"hardinfo"} << "";
    }

    void systemTableFindsAProgramOnThePath() {
        QFETCH(QStringList, executables);
        QFETCH(QStringList, plainFiles);
        QFETCH(QString, found);
        QTemporaryDir bin;
        for (const QString& name : executables + plainFiles) {
            QFile file(bin.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n");
            if (executables.contains(name)) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        const KeyValueTable table = SystemInfoKeys(SystemInfoPrograms(), {bin.path()});
        QString path;
        QCOMPARE(GetKeyValue(table, RootKey::LocalMachine, kMsInfoKey, "PATH", path), !found.isEmpty());
        QCOMPARE(path, found.isEmpty() ? QString() : bin.filePath(found));
    }

    void pictureTextsAndLinks_data() {
        QTest::addColumn<bool>("portrait");
        QTest::addColumn<bool>("strip");
        QTest::addColumn<QSize>("size");
        QTest::newRow("her portrait") << true << true << QSize(188, 276);
        QTest::newRow("resting frame of the strip") << false << true << QSize(94, 138);
        QTest::newRow("neither") << false << false << QSize(0, 0);
    }

    void pictureTextsAndLinks() {
        QFETCH(bool, portrait);
        QFETCH(bool, strip);
        QFETCH(QSize, size);
        AboutFixture f;
        if (portrait) QVERIFY(QFile::copy(QString(VELMIO_DIST_DIR) + "/about.png", f.folder.file("about.png")));
        if (!strip) QFile::remove(f.folder.file("velmio.dat"));
        f.open();
        QCOMPARE(f.w<PictureLabel>("Image1")->image().size(), size);
        QVERIFY(!f.box->grab().isNull());
        // Texts fit their labels and buttons, inside the box.
        for (QLabel* label : f.box->findChildren<QLabel*>()) {
            if (qobject_cast<PictureLabel*>(label) || label->text().isEmpty()) continue;
            const QString name = label->objectName();
            if (label->wordWrap())
                QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(name));
            else
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(name));
            QVERIFY2(f.box->rect().contains(label->geometry()), qPrintable(name));
        }
        for (QPushButton* button : f.box->findChildren<QPushButton*>())
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text().remove('&')) < button->width() - 8,
                     qPrintable(button->objectName()));
        // Three links to three sections of the README beside the program,
        // as a Markdown viewer names its headings.
        for (const char* name : {"Image1", "Label2", "Label4", "Label3", "lblDescription"})
            QTest::mouseClick(f.w(name), Qt::LeftButton);
        const AboutLinks links = AboutLinksFor(f.services.paths);
        QCOMPARE(f.opened, (QStringList{links.image, links.makers, links.illustrator}));
        QCOMPARE(QSet<QString>(f.opened.begin(), f.opened.end()).size(), 3);
        QFile readme(AppPaths::Locate(VELMIO_DIST_DIR).DocDir() + "/README.md");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        QStringList sections;
        for (const QString& line : QString::fromUtf8(readme.readAll()).split('\n'))
            if (line.startsWith('#')) sections << line.section(' ', 1).toLower().replace(' ', '-');
        for (const QUrl address : f.opened) {
            QCOMPARE(address.toLocalFile(), f.folder.file("README.md"));
            QVERIFY2(sections.contains(address.fragment()), qPrintable(address.fragment()));
        }
        // A press that ends outside is no click.
        QTest::mousePress(f.w("Label2"), Qt::LeftButton);
        QTest::mouseRelease(f.w("Label2"), Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(f.opened.size(), 3);
    }

    void menuOpensTheBoxAndItCloses_data() {
        QTest::addColumn<int>("key");  // 0: the OK button is clicked
        QTest::newRow("OK clicked") << 0;
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }

    void menuOpensTheBoxAndItCloses() {
        QFETCH(int, key);
        // The version text puts the patch right after the minor number.
        QCOMPARE(VersionText(2, 10, 5), QString("ﾊﾞｰｼﾞｮﾝ 2.105"));
        QCOMPARE(VersionText(1, 0, 0), QString("ﾊﾞｰｼﾞｮﾝ 1.00"));
        test::ProgramFolder folder;
        AppState state;
        state.paths = AppPaths::ProgramFolder(folder.path());
        test::FakeServices fakes;
        Services services = fakes.services();
        services.dialogs = nullptr;  // the program's own dialogs
        Form1 form1(state, services);
        QVERIFY(form1.Load());
        QString caption, version;
        qint16 modeWhileOpen = 0;
        bool leftOpen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            caption = box->windowTitle();
            version = box->findChild<QLabel*>("lblVersion")->text();
            modeWhileOpen = state.DialogMode;
            if (key == 0)
                QTest::mouseClick(box->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
            else
                QTest::keyClick(box, Qt::Key(key));
            QTimer::singleShot(3000, box, [&leftOpen, box] { leftOpen = true, box->close(); });
        });
        poll.start(20);
        form1.RunMenuCommand("mnuVersion");  // returns when the box is closed
        QVERIFY(!leftOpen);
        QCOMPARE(caption, QString("Velmioチェックのﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(version, VersionText(VELMIO_VERSION_MAJOR, VELMIO_VERSION_MINOR, VELMIO_VERSION_PATCH));
        QCOMPARE(modeWhileOpen, qint16(kAboutDialog));
        QCOMPARE(state.DialogMode, qint16(kNoDialog));
        QVERIFY(fakes.launcher.programs.isEmpty());
        form1.hide();
    }
};

QTEST_MAIN(AboutBoxTest)
#include "tst_about_box.moc"
