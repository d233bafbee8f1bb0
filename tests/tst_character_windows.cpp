#include <QScreen>
#include <QtTest>

#include "character/balloon_geometry.h"
#include "character/balloon_window.h"
#include "character/form4.h"
#include "core/app_state.h"
#include "platform/twips.h"
#include "support/fakes.h"

using namespace velmio;

class CharacterWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void balloonSizeInTwips_data();
    void balloonSizeInTwips();
    void sayTextPlacesTheBalloonAtHerLeft();
    void sayTextIgnoresEmptyTextAndHiddenBalloon();
    void showPictureCopiesTheFrameColumns_data();
    void showPictureCopiesTheFrameColumns();
    void showPictureOnlyHidesWhileCharHide();
    void frameOffsetBeyond16BitsFails();
    void positionsFollowEachOtherBothWays_data();
    void positionsFollowEachOtherBothWays();
    void pictureFoundByContentNotName();
    void transparentModeNeedsItsOwnPicture_data();
    void transparentModeNeedsItsOwnPicture();

private:
    AppState state_;
    std::unique_ptr<test::ProgramFolder> folder_;
    test::RecordingMessages messages_;
    std::unique_ptr<Form4> form4_;
    std::unique_ptr<BalloonWindow> balloon_;
};

void CharacterWindowsTest::init() {
    folder_ = std::make_unique<test::ProgramFolder>();
    state_ = AppState{};
    state_.paths = AppPaths::ProgramFolder(folder_->path());
    form4_ = std::make_unique<Form4>(state_, messages_);
    balloon_ = std::make_unique<BalloonWindow>();
    form4_->setPartner(balloon_.get());
    balloon_->setPartner(form4_.get());
    form4_->Load();
    form4_->move(500, 300);
    form4_->show();
    balloon_->show();
}

void CharacterWindowsTest::cleanup() {
    balloon_.reset();
    form4_.reset();
}

void CharacterWindowsTest::balloonSizeInTwips_data() {
    QTest::addColumn<int>("chars");
    QTest::addColumn<double>("points");
    QTest::addColumn<qint64>("width");
    QTest::addColumn<double>("height");
    QTest::newRow("10 at 9 pt") << 10 << 9.0 << qint64(1800) << 360.0;
    QTest::newRow("3 at 10.5 pt") << 3 << 10.5 << qint64(630) << 420.0;
    QTest::newRow("half twip rounds to even, down") << 1 << 0.025 << qint64(0) << 1.0;
    QTest::newRow("half twip rounds to even, up") << 3 << 0.025 << qint64(2) << 1.0;
    QTest::newRow("fraction that binary cannot hold") << 7 << 10.1 << qint64(1414) << 404.0;
}

void CharacterWindowsTest::balloonSizeInTwips() {
    QFETCH(int, chars);
    QFETCH(double, points);
    QFETCH(qint64, width);
    QFETCH(double, height);
    const BalloonSize size = BalloonSizeFor(QString(chars, QChar(0x3042)), points);
    QCOMPARE(size.widthTwips, width);
    QCOMPARE(size.heightTwips, height);
}

void CharacterWindowsTest::sayTextPlacesTheBalloonAtHerLeft() {
    QFont font = balloon_->font();
    font.setPointSizeF(9.0);
    balloon_->setFont(font);
    balloon_->move(10, 345);
    balloon_->SayText(QStringLiteral("0123456789"));
    const double tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
    QCOMPARE(balloon_->width(), TwipsToPixels(1800, tx));
    QCOMPARE(balloon_->height(), TwipsToPixels(360, ty));
    QCOMPARE(balloon_->x() + balloon_->width(), form4_->x());
    QCOMPARE(balloon_->y(), 345);
    QCOMPARE(balloon_->LastSaidText(), QStringLiteral("0123456789"));
    // Rounded corners: the corner pixels are outside the shape.
    QVERIFY(!balloon_->mask().contains(QPoint(0, 0)));
    QVERIFY(!balloon_->mask().contains(QPoint(balloon_->width() - 1, 0)));
    QVERIFY(balloon_->mask().contains(QPoint(balloon_->width() / 2, balloon_->height() / 2)));
}

void CharacterWindowsTest::sayTextIgnoresEmptyTextAndHiddenBalloon() {
    balloon_->SayText(QStringLiteral("はじめ"));
    const QRect before = balloon_->geometry();
    balloon_->SayText(QString());
    QCOMPARE(balloon_->LastSaidText(), QStringLiteral("はじめ"));
    QCOMPARE(balloon_->geometry(), before);
    balloon_->hide();
    balloon_->SayText(QStringLiteral("もっと長いせりふだよ"));
    QCOMPARE(balloon_->LastSaidText(), QStringLiteral("はじめ"));
    QCOMPARE(balloon_->geometry(), before);
}

void CharacterWindowsTest::showPictureCopiesTheFrameColumns_data() {
    QTest::addColumn<int>("frame");
    for (int n : {0, 1, 2, 4, 9}) QTest::addRow("frame %d", n) << n;
}

void CharacterWindowsTest::showPictureCopiesTheFrameColumns() {
    QFETCH(int, frame);
    form4_->ShowPicture(frame);
    QCOMPARE(form4_->shownFrame(), frame);
    const QImage expected = form4_->strip().copy(94 * frame, 0, 94, 138);
    QCOMPARE(form4_->frame().convertToFormat(QImage::Format_RGB32),
             expected.convertToFormat(QImage::Format_RGB32));
}

void CharacterWindowsTest::showPictureOnlyHidesWhileCharHide() {
    form4_->ShowPicture(3);
    state_.settings.CharHide = true;
    form4_->ShowPicture(2);
    QVERIFY(!form4_->isVisible());
    QCOMPARE(form4_->shownFrame(), 3);
    form4_->ShowPicture(0);
    QVERIFY(!form4_->isVisible());  // never shows itself
}

void CharacterWindowsTest::frameOffsetBeyond16BitsFails() {
    form4_->ShowPicture(348);  // 94 x 348 = 32712 still fits
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, form4_->ShowPicture(349));
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, form4_->ShowPicture(-349));
}

void CharacterWindowsTest::positionsFollowEachOtherBothWays_data() {
    QTest::addColumn<bool>("atLeftEdge");
    QTest::newRow("balloon at her left") << false;
    QTest::newRow("at the screen's left edge: balloon at her right") << true;
}

void CharacterWindowsTest::positionsFollowEachOtherBothWays() {
    QFETCH(bool, atLeftEdge);
    if (atLeftEdge) form4_->move(form4_->screen()->availableGeometry().topLeft() + QPoint(0, 200));
    balloon_->SayText(QStringLiteral("あいうえお"));
    form4_->SetTextFormPosition();
    QCOMPARE(balloon_->AtRight(), atLeftEdge);
    QCOMPARE(atLeftEdge ? balloon_->x() : balloon_->x() + balloon_->width(),
             atLeftEdge ? form4_->x() + form4_->width() : form4_->x());
    QCOMPARE(balloon_->y(), form4_->y() + 69);
    const QPoint before = form4_->pos();
    balloon_->SetCharFormPosition();
    QCOMPARE(form4_->pos(), before);
    balloon_->move(balloon_->pos() + QPoint(37, 55));
    balloon_->SetCharFormPosition();
    QCOMPARE(form4_->pos(), before + QPoint(37, 55));
}

void CharacterWindowsTest::pictureFoundByContentNotName() {
    // A PNG named .dat and a BMP named .dat load alike.
    QImage strip = LoadPictureFile(folder_->file("velmio.dat"));
    QVERIFY(!strip.isNull());
    QVERIFY(strip.save(folder_->file("velmio.dat"), "BMP"));
    QCOMPARE(folder_->read("velmio.dat").left(2), QByteArray("BM"));
    QCOMPARE(LoadPictureFile(folder_->file("velmio.dat")).size(), strip.size());
    QVERIFY(LoadPictureFile(folder_->file("missing.dat")).isNull());
}

void CharacterWindowsTest::transparentModeNeedsItsOwnPicture_data() {
    QTest::addColumn<bool>("clearnessAtLoad");
    QTest::addColumn<bool>("keyedPicture");
    QTest::addColumn<bool>("clearnessLater");
    QTest::addColumn<bool>("shaped");
    QTest::newRow("on, with its picture") << true << true << true << true;
    QTest::newRow("on, its picture missing") << true << false << true << false;
    QTest::newRow("switched on while running") << false << true << true << false;
    QTest::newRow("off") << false << true << false << false;
}

void CharacterWindowsTest::transparentModeNeedsItsOwnPicture() {
    QFETCH(bool, clearnessAtLoad);
    QFETCH(bool, keyedPicture);
    QFETCH(bool, clearnessLater);
    QFETCH(bool, shaped);
    if (!keyedPicture) QFile::remove(folder_->file("velmio_s.dat"));
    state_.settings.Clearness = clearnessAtLoad;
    Form4 form(state_, messages_);
    form.Load();
    QVERIFY(!form.strip().isNull());
    state_.settings.Clearness = clearnessLater;
    form.ShowPicture(3);
    QCOMPARE(!form.mask().isEmpty(), shaped);
    QVERIFY(messages_.texts.isEmpty());
}

QTEST_MAIN(CharacterWindowsTest)
#include "tst_character_windows.moc"
