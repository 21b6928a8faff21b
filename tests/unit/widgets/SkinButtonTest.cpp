// The skinned button: the mask's run rule, the round shape's clicks, check boxes, radio groups,
// dragging off, and the skin folder's fall-back.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "widgets/CMXSkinButton.h"
#include "widgets/CSkin.h"
#include "widgets/SkinRegion.h"

namespace {

constexpr std::uint32_t W = 0xFFFFFF;
constexpr std::uint32_t B = 0x000000;
constexpr std::uint32_t G = 0x808080; // any colour but pure white is inside

// Records the presses that reach the widget behind the buttons.
class Backdrop : public QWidget {
public:
    int presses = 0;
    QPoint last;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        ++presses;
        last = e->position().toPoint();
    }
};

} // namespace

class SkinButtonTest : public QObject {
    Q_OBJECT
private slots:
    void init() { CSkin::SetFolder({}); }

    void runsFollowTheNonWhitePixelsOfEachRow()
    {
        // Hand-worked: row 0 one inner run, row 1 a run at each edge (the right one reaching the
        // last column), row 2 empty, row 3 a grey run between white pixels and a lone pixel.
        const std::vector<std::uint32_t> grid = {
            W, B, B, W, W, //
            B, W, W, G, B, //
            W, W, W, W, W, //
            G, G, W, B, W, //
        };
        const std::vector<SkinRun> expected = {{1, 3, 0}, {0, 1, 1}, {3, 5, 1}, {0, 2, 3}, {3, 4, 3}};
        QCOMPARE(SkinRunsFromPixels(grid, 5, 4), expected);
        // Without a white pixel: one full-width run per row, a rectangle of the whole picture.
        const std::vector<SkinRun> full = {{0, 3, 0}, {0, 3, 1}};
        QCOMPARE(SkinRunsFromPixels(std::vector<std::uint32_t>(6, 0xFF102030), 3, 2), full);
        // The top byte (alpha) does not make white inside.
        QVERIFY(SkinRunsFromPixels({0xFFFFFFFF, 0x00FFFFFF}, 2, 1).empty());
        QVERIFY(SkinRunsFromPixels({B}, 2, 1).empty()); // too few pixels: nothing, no overrun
    }

    void roundMaskPassesCornerClicksToTheWindowBehind()
    {
        Backdrop backdrop;
        backdrop.resize(120, 120);
        CMXSkinButton button(&backdrop);
        button.SetSkin("key", "key_pressed", "key_hover", "key_mask");
        button.move(10, 10);
        QCOMPARE(button.size(), QSize(48, 48));
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        QSignalSpy clicks(&button, &QAbstractButton::clicked);

        const QPoint corner(1, 1), centre(24, 24);
        QVERIFY(!button.Region().contains(corner));
        QVERIFY(button.Region().contains(centre));
        // Through the window: routed by the region, the corner press lands on the backdrop.
        QTest::mouseClick(backdrop.windowHandle(), Qt::LeftButton, {}, button.mapTo(&backdrop, corner));
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(backdrop.presses, 1);
        // Straight at the button: hitButton refuses the corner too, and the ignored press goes
        // on to the parent.
        QTest::mouseClick(&button, Qt::LeftButton, {}, corner);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(backdrop.presses, 2);
        QCOMPARE(backdrop.last, QPoint(11, 11));
        QTest::mouseClick(backdrop.windowHandle(), Qt::LeftButton, {}, button.mapTo(&backdrop, centre));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(backdrop.presses, 2);
    }

    void checkBoxTogglesAndKeepsThePressedFace()
    {
        QWidget parent;
        CMXSkinButton box(&parent, CMXSkinButton::KIND_CHECK);
        box.SetSkin("check", "check_checked", "", "");
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QRgb unchecked = box.grab().toImage().pixel(8, 8);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(box.isChecked());
        // The mouse has gone; the checked face stays.
        QTest::mouseMove(&parent, QPoint(100, 100));
        QRgb checked = box.grab().toImage().pixel(8, 8);
        QVERIFY2(checked != unchecked, "checked box drawn with the normal face");
        QCOMPARE(checked, CSkin::Face("check_checked", QSize(16, 16), 1).toImage().pixel(8, 8));
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(!box.isChecked());
        QTest::keyClick(&box, Qt::Key_Space);
        QVERIFY(box.isChecked());
    }

    void radioButtonsUncheckOnlyTheirOwnGroup()
    {
        QWidget window;
        QWidget groupA(&window), groupB(&window);
        CMXSkinButton a1(&groupA, CMXSkinButton::KIND_RADIO), a2(&groupA, CMXSkinButton::KIND_RADIO);
        CMXSkinButton b1(&groupB, CMXSkinButton::KIND_RADIO);
        for (CMXSkinButton* r : {&a1, &a2, &b1})
            r->SetSkin("check", "check_checked", "", "");
        a2.move(20, 0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(&b1, Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseClick(&a1, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(a1.isChecked() && b1.isChecked());
        QTest::mouseClick(&a2, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(a2.isChecked());
        QVERIFY(!a1.isChecked());
        QVERIFY(b1.isChecked());
        // A checked radio button stays checked when clicked again.
        QTest::mouseClick(&a2, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(a2.isChecked());
    }

    void draggingOffBeforeTheReleaseIsNoClick()
    {
        QWidget parent;
        parent.resize(200, 100);
        CMXSkinButton push(&parent);
        push.SetSkin("key", "key_pressed", "key_hover", "key_mask");
        CMXSkinButton box(&parent, CMXSkinButton::KIND_CHECK);
        box.SetSkin("key", "key_pressed", "key_hover", "key_mask");
        box.move(100, 0);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QSignalSpy clicks(&push, &QAbstractButton::clicked);
        for (CMXSkinButton* b : {&push, &box}) {
            QTest::mousePress(b, Qt::LeftButton, {}, QPoint(24, 24));
            QVERIFY(b->isDown());
            QMouseEvent move(QEvent::MouseMove, QPointF(70, 24), b->mapToGlobal(QPointF(70, 24)), Qt::NoButton,
                             Qt::LeftButton, {});
            QApplication::sendEvent(b, &move);
            QVERIFY2(!b->isDown(), "pressed look did not follow the pointer off the button");
            QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(70, 24));
        }
        QCOMPARE(clicks.count(), 0);
        QVERIFY(!box.isChecked());
    }

    void missingPicturesComeFromTheDefaultSkin()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile own(dir.filePath("key.svg"));
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"30\" height=\"20\">"
                  "<rect width=\"30\" height=\"20\" fill=\"#ff0000\"/></svg>");
        own.close();
        qputenv("ZELORA_SKIN_DIR", dir.path().toLocal8Bit());
        QCOMPARE(CSkin::PathOf("key"), dir.filePath("key.svg"));
        QCOMPARE(CSkin::PathOf("key_mask"), QString(CSkin::kDefaultFolder) + "/key_mask.svg");
        QCOMPARE(CSkin::NaturalSize("key"), QSize(30, 20));
        QCOMPARE(CSkin::Face("key", QSize(30, 20), 2).toImage().pixel(10, 10), qRgb(255, 0, 0));
        QCOMPARE(CSkin::Face("key", QSize(30, 20), 2).toImage().size(), QSize(60, 40));
        qunsetenv("ZELORA_SKIN_DIR");
        QVERIFY(CSkin::PathOf("no_such_picture").isEmpty());
    }
};

QTEST_MAIN(SkinButtonTest)
#include "SkinButtonTest.moc"
