#include "common/DialogGeometry.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

// Placement of a window on a control and the layout of the question dialog,
// checked on the arithmetic alone.
class TestDialogGeometry : public QObject {
    Q_OBJECT

private slots:
    void centresOnControlWithTruncatedHalves();
    void clampsAtScreenEdges();
    void centresOnScreenOnlyWhenBothCentreCoordinatesAreNegative();
    void keepsAWindowLargerThanTheScreenReachable();
    void questionButtonsAreAtLeastSixtyPixelsWide();
    void questionWidthFollowsTheWiderOfLabelAndButtons();
    void multiLineQuestionGrowsDialogAndMovesButtonsDown();
};

namespace {
const QSize Screen(800, 600);
}

void TestDialogGeometry::centresOnControlWithTruncatedHalves() {
    // Centre (100 + 201/2, 50 + 101/2) = (200, 100); window halves 25 and 12.
    QCOMPARE(NearControlPosition({100, 50}, {201, 101}, {51, 25}, Screen), QPoint(175, 88));
}

void TestDialogGeometry::clampsAtScreenEdges() {
    // Near the top-left corner: never above or left of the screen.
    QCOMPARE(NearControlPosition({0, 0}, {20, 20}, {100, 100}, Screen), QPoint(0, 0));
    // Near the right edge: the right edge meets the screen's.
    QCOMPARE(NearControlPosition({750, 100}, {40, 20}, {200, 50}, Screen), QPoint(600, 85));
    // Near the bottom: it ends 20 pixels above the bottom edge.
    QCOMPARE(NearControlPosition({100, 570}, {40, 20}, {100, 100}, Screen), QPoint(70, 480));
    // Ending exactly 20 pixels above the bottom is left where it is.
    QCOMPARE(NearControlPosition({100, 520}, {40, 20}, {100, 100}, Screen), QPoint(70, 480));
    // The bottom-right corner clamps both ways at once.
    QCOMPARE(NearControlPosition({790, 590}, {10, 10}, {300, 200}, Screen), QPoint(500, 380));
}

void TestDialogGeometry::centresOnScreenOnlyWhenBothCentreCoordinatesAreNegative() {
    QCOMPARE(NearControlPosition({-300, -300}, {100, 100}, {50, 50}, Screen), std::nullopt);
    // One negative coordinate is clamped, not centred.
    QCOMPARE(NearControlPosition({-300, 200}, {100, 100}, {50, 50}, Screen), QPoint(0, 225));
    QCOMPARE(NearControlPosition({200, -300}, {100, 100}, {50, 50}, Screen), QPoint(225, 0));
    // A centre exactly on the origin is not "left of and above" it.
    QCOMPARE(NearControlPosition({-50, -50}, {100, 100}, {50, 50}, Screen), QPoint(0, 0));
}

void TestDialogGeometry::keepsAWindowLargerThanTheScreenReachable() {
    // Aligning its right and bottom edges would push its title bar off the top.
    QCOMPARE(NearControlPosition({400, 300}, {10, 10}, {900, 700}, Screen), QPoint(0, 0));
}

void TestDialogGeometry::questionButtonsAreAtLeastSixtyPixelsWide() {
    // Captions up to 50 pixels (x 1.2 = 60) get the 60-pixel minimum.
    for (int textWidth : {0, 21, 50}) {
        const QuestionLayout layout = LayoutQuestion(13, {100, 13}, textWidth);
        QCOMPARE(layout.Button1.width(), 60);
        QCOMPARE(layout.Button2.width(), 60);
    }
    // Wider captions: x 1.2, to the nearest pixel.
    QCOMPARE(LayoutQuestion(13, {100, 13}, 51).Button1.width(), 61); // 61.2
    QCOMPARE(LayoutQuestion(13, {100, 13}, 54).Button2.width(), 65); // 64.8
}

void TestDialogGeometry::questionWidthFollowsTheWiderOfLabelAndButtons() {
    // Buttons wider than the label: (2 x 60) x 1.2 = 144, gaps of 8.
    const QuestionLayout narrow = LayoutQuestion(13, {100, 13}, 20);
    QCOMPARE(narrow.Client, QSize(144, 60));
    QCOMPARE(narrow.LabelPos, QPoint(22, 5));
    QCOMPARE(narrow.Button1, QRect(8, 30, 60, 25));
    QCOMPARE(narrow.Button2, QRect(76, 30, 60, 25));

    // A wide label: 301 x 1.2 = 361.2 -> 361; gap (361 - 120) / 3 = 80.
    const QuestionLayout wide = LayoutQuestion(13, {301, 13}, 20);
    QCOMPARE(wide.Client, QSize(361, 60));
    QCOMPARE(wide.LabelPos, QPoint(30, 5));
    QCOMPARE(wide.Button1.left(), 80);
    QCOMPARE(wide.Button2.left(), 220);
    // The second button never overlaps the first.
    QVERIFY(wide.Button2.left() > wide.Button1.right());
}

void TestDialogGeometry::multiLineQuestionGrowsDialogAndMovesButtonsDown() {
    const QuestionLayout oneLine = LayoutQuestion(13, {150, 13}, 30);
    const QuestionLayout threeLines = LayoutQuestion(13, {150, 39}, 30);
    QCOMPARE(threeLines.Client.height() - oneLine.Client.height(), 26);
    QCOMPARE(threeLines.Button1.top(), oneLine.Button1.top() + 26);
    QCOMPARE(threeLines.Button2.top(), oneLine.Button2.top() + 26);
    QCOMPARE(threeLines.Button1.height(), 25);
    QCOMPARE(threeLines.Client.width(), oneLine.Client.width());
    // The buttons stay inside the client area with 5 pixels below them.
    QCOMPARE(threeLines.Client.height() - threeLines.Button1.bottom() - 1, 5);
}

HEXVAC_TEST(TestDialogGeometry);
#include "TestDialogGeometry.moc"
