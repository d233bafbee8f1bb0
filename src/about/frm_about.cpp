#include "about/frm_about.h"

#include <QFrame>
#include <QImageReader>
#include <QPushButton>
#include <QUrl>

#include "about/clickable_label.h"
#include "core/app_state.h"
#include "platform/named_widget.h"
#include "platform/shell_open.h"
#include "platform/twips_rect.h"

namespace velmio {
namespace {

QLabel* WrappedLabel(const char* name, const QString& text) {
    auto* label = Named(new QLabel(text), name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void MakeBlue(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    w->setPalette(p);
}

}  // namespace

AboutLinks AboutLinksFor(const AppPaths& paths) {
    const auto section = [&paths](const char* anchor) {
        QUrl readme = QUrl::fromLocalFile(paths.DocDir() + QStringLiteral("/README.md"));
        readme.setFragment(QLatin1String(anchor));
        return readme.toString();
    };
    return {section("her-pictures"), section("who-made-her"), section("who-drew-her")};
}

QString VersionText(int major, int minor, int patch) {
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QString::number(major) + QLatin1Char('.') +
           QString::number(minor) + QString::number(patch);
}

frmAbout::frmAbout(const AboutServices& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      services_(services),
      links_(AboutLinksFor(services.paths)) {
    setObjectName(QStringLiteral("frmAbout"));
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPointSizeF(9.0);
    setFont(f);
    setFixedSize(TwipsRect(this, 0, 0, 5775, 3240).size());
    auto place = [this](QWidget* w, int left, int top, int width, int height) {
        w->setParent(this);
        w->setGeometry(TwipsRect(this, left, top, width, height));
    };

    auto* image1 = Named(new PictureLabel, "Image1");
    image1->setImage(LoadPicture(services_.paths));
    image1->setLink(links_.image);
    place(image1, 120, 90, 1410, 2070);

    auto* lblTitle = Named(new QLabel, "lblTitle");
    QFont titleFont = font();
    titleFont.setPointSizeF(11.0);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    auto* lblVersion = Named(new QLabel, "lblVersion");
    lblVersion->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    place(WrappedLabel("lblDescription",
                       QStringLiteral("えっとぉ、おにいちゃんにメイルが来てないか、私、Velmioがチェックしてくる"
                                      "ってのが、このプログラムの概要かなぁ。")),
          1680, 450, 3975, 810);

    auto* label2 = Named(new ClickableLabel(QStringLiteral("© 2026 Velmio Check developers")), "Label2");
    label2->setLink(links_.makers);
    place(label2, 1680, 1290, 3975, 255);
    auto* label3 = Named(new QLabel(QStringLiteral("プログラム：Velmio Check developers")), "Label3");
    MakeBlue(label3);
    place(label3, 1680, 1560, 3975, 255);
    auto* label4 = Named(new ClickableLabel(QStringLiteral("イラスト：Velmio Check developers")), "Label4");
    MakeBlue(label4);
    label4->setLink(links_.illustrator);
    place(label4, 1680, 1830, 3975, 255);

    // An etched separator: a grey line with a white one just below.
    for (int i = 0; i < 2; ++i) {
        auto* line = Named(new QFrame, "Line1");
        line->setProperty("Index", i);
        line->setAutoFillBackground(true);
        QPalette p = line->palette();
        p.setColor(QPalette::Window, i == 0 ? QColor(128, 128, 128) : QColor(255, 255, 255));
        line->setPalette(p);
        place(line, 120, 2235 + 15 * i, 5535, 15);
    }

    place(WrappedLabel("lblDisclaimer",
                       QStringLiteral("注意：おにいちゃんは気を付けて作ってるみたいだけど、不具合はあるかもしれないから、"
                                      "みんなの責任の上で使ってみてね。")),
          120, 2340, 4065, 810);
    auto* label1 = Named(new QLabel(QStringLiteral("Velmioより")), "Label1");
    label1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    place(label1, 2940, 2880, 1245, 255);

    auto* cmdOK = Named(new QPushButton(QStringLiteral("OK")), "cmdOK");
    cmdOK->setDefault(true);
    place(cmdOK, 4305, 2325, 1350, 375);
    auto* cmdSysInfo = Named(new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)...")), "cmdSysInfo");
    cmdSysInfo->setAutoDefault(false);
    place(cmdSysInfo, 4305, 2775, 1350, 375);

    // Load: the caption, then the version, then the title.
    setWindowTitle(kAppTitle + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    lblVersion->setText(VersionText(VELMIO_VERSION_MAJOR, VELMIO_VERSION_MINOR, VELMIO_VERSION_PATCH));
    lblTitle->setText(kAppTitle);
    // The version follows the title on its line, whatever the title's width.
    const QRect title = TwipsRect(this, 1680, 60, 3975, 360);
    const int titleWidth = lblTitle->sizeHint().width();
    lblTitle->setParent(this);
    lblTitle->setGeometry(title.x(), title.y(), titleWidth, title.height());
    lblVersion->setParent(this);
    lblVersion->setGeometry(title.x() + titleWidth + fontMetrics().averageCharWidth(), title.y(),
                            title.width() - titleWidth - fontMetrics().averageCharWidth(),
                            title.height() - 1);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] {
        StartSysInfo({services_.keys, services_.launcher, services_.messages, this});
    });
    connect(image1, &ClickableLabel::clicked, this, [this] { Open(links_.image); });
    connect(label2, &ClickableLabel::clicked, this, [this] { Open(links_.makers); });
    connect(label4, &ClickableLabel::clicked, this, [this] { Open(links_.illustrator); });
    cmdOK->setFocus();
}

void frmAbout::Open(const QString& address) {
    if (services_.openWithShell)
        services_.openWithShell(address);
    else
        OpenWithShell(address);
}

QImage frmAbout::LoadPicture(const AppPaths& paths) {
    QImage picture(paths.DataFile(QStringLiteral("about.png")));
    if (!picture.isNull()) return picture;
    // Without her portrait, her resting frame from the picture strip.
    QImageReader strip(paths.DataFile(QStringLiteral("velmio.dat")));
    strip.setDecideFormatFromContent(true);
    const QImage frames = strip.read();
    if (frames.isNull()) return QImage();
    return frames.copy(0, 0, 94, 138);
}

}  // namespace velmio
