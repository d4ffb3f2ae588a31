// The processing window: what it shows when it appears, where it appears,
// and that only an enabled Cancel lets it close.

#include "app/xProcessing.h"
#include "common/StdFuncsMiscWindows.h"
#include "tests/support/TestRegistry.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

class TestProcbox : public QObject {
    Q_OBJECT
private slots:
    void LinesWrittenBeforeShowingAreCleared();
    void OnlyAnEnabledCancelLetsItClose_data();
    void OnlyAnEnabledCancelLetsItClose();
    void OpensCentredOnItsOwnerThenHalfwayUp();
};

void TestProcbox::LinesWrittenBeforeShowingAreCleared() {
    TFProcbox box;
    QCOMPARE(box.windowTitle(), QStringLiteral("Processing Report"));
    QCOMPARE(box.size(), QSize(329, 123));
    QVERIFY(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!box.BCancel->isEnabled());
    TProcessingBox& view = box;
    view.SetCaption(QStringLiteral("Com Select"));
    view.SetLabel1(QStringLiteral("early 1"));
    view.SetLabel2(QStringLiteral("early 2"));
    view.SetProgress(5, 40, 25);
    view.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.windowTitle(), QStringLiteral("Com Select"));
    QCOMPARE(box.Label1->text(), QString());
    QCOMPARE(box.Label2->text(), QString());
    QCOMPARE(box.PBProcess->minimum(), 0);
    QCOMPARE(box.PBProcess->value(), 0);
    QCOMPARE(box.PBProcess->maximum(), 40); // the owner's limit stays
    view.SetLabel2(QStringLiteral("at 9600 Baud "));
    QCOMPARE(box.Label2->text(), QStringLiteral("at 9600 Baud "));
    view.EnableCancel();
    view.Close();
}

void TestProcbox::OnlyAnEnabledCancelLetsItClose_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("close box") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("owner's Close") << 2;
    QTest::newRow("Cancel clicked") << 3;
}

void TestProcbox::OnlyAnEnabledCancelLetsItClose() {
    QFETCH(int, way);
    TFProcbox box;
    box.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const auto tryToClose = [&] {
        switch (way) {
        case 0:
            box.close();
            break;
        case 1:
            QTest::keyClick(&box, Qt::Key_Escape);
            break;
        case 2:
            box.Close();
            break;
        default:
            QTest::mouseClick(box.BCancel, Qt::LeftButton);
        }
    };
    tryToClose();
    QVERIFY(box.isVisible());
    box.EnableCancel();
    tryToClose();
    QVERIFY(!box.isVisible());
}

void TestProcbox::OpensCentredOnItsOwnerThenHalfwayUp() {
    QWidget owner;
    owner.setGeometry(150, 300, 400, 200);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    TFProcbox box(&owner);
    // Where a window of the same size and frame centred on the owner goes.
    QWidget probe(nullptr, box.windowFlags());
    probe.setFixedSize(box.size());
    probe.show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe));
    PlaceNearControl(&owner, &probe);
    QVERIFY(probe.y() > 100);
    box.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.pos(), QPoint(probe.x(), probe.y() / 2));
    box.EnableCancel();
    box.Close();
}

HEXVAC_TEST(TestProcbox);
#include "TestProcbox.moc"
