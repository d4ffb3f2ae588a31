#include "common/DialogGeometry.h"
#include "common/QtUiHost.h"
#include "common/StdFuncsMisc.h"
#include "common/StdFuncsMiscWindows.h"
#include "common/Timing.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// The real dialogs of the window, on the offscreen platform: their looks,
// their answers, and that events keep flowing while they are up. Checks made
// while a dialog is showing are collected in problems_ and reported after it.
class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void placesOnFormChildControlOrScreen();
    void messageBoxIsSilverUntitledAndAnswersOkWhileTimersRun();
    void noticeClosesItselfWhileTimersRun();
    void questionAnswers_data();
    void questionAnswers();
    void questionFocusesTheDefaultButton_data();
    void questionFocusesTheDefaultButton();
    void multiLineQuestionMovesButtonsDown();
    void questionWhoseWindowIsDestroyedCountsAsNoAnswer();
    void plainMessageAndBusyCursor();

private:
    void Expect(bool Ok, const char* What) {
        if (!Ok)
            problems_ << QLatin1String(What);
    }

    std::unique_ptr<QtUiHost> host_;
    std::unique_ptr<QWidget> window_;
    QWidget* control_ = nullptr;
    QTimer watchdog_;
    QStringList problems_;
};

namespace {

QWidget* FindDialog(const char* Name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String(Name))
            return widget;
    return nullptr;
}

// Runs Action on the named dialog once its own event loop is running (null
// if there is no such dialog).
void WhenShown(const char* Name, const std::function<void(QWidget*)>& Action) {
    QTimer::singleShot(0, [Name, Action] { Action(FindDialog(Name)); });
}

void Click(QWidget* Dialog, const char* ButtonName) {
    if (auto* button = Dialog ? Dialog->findChild<QPushButton*>(ButtonName) : nullptr)
        QTest::mouseClick(button, Qt::LeftButton);
}

const QColor Silver(0xC0, 0xC0, 0xC0);

} // namespace

void TestDialogs::init() {
    problems_.clear();
    host_ = std::make_unique<QtUiHost>();
    window_ = std::make_unique<QWidget>();
    window_->setGeometry(100, 100, 400, 300);
    control_ = new QWidget(window_.get());
    control_->setGeometry(50, 40, 120, 30);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    // A dialog left open by a failed check would block the rest of the suite.
    watchdog_.setSingleShot(true);
    watchdog_.callOnTimeout([] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                dialog->reject();
    });
    watchdog_.start(10000);
}

void TestDialogs::cleanup() {
    watchdog_.stop();
    Timing::SetTestScale(100);
    window_.reset();
    host_.reset();
    QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join(u'\n')));
}

void TestDialogs::placesOnFormChildControlOrScreen() {
    QWidget box;
    box.resize(100, 50);
    // A child control: centred on its own rectangle.
    PlaceNearControl(control_, &box);
    QCOMPARE(box.pos(), control_->mapToGlobal(QPoint(0, 0)) + QPoint(60 - 50, 15 - 25));

    // A form: measured from just outside its client area, with its frame.
    PlaceNearControl(window_.get(), &box);
    const QSize outer = window_->frameGeometry().size();
    QCOMPARE(box.pos(), window_->geometry().topLeft() +
                            QPoint(-4 + outer.width() / 2 - 50, -23 + outer.height() / 2 - 25));

    // No control, or one whose centre is above and left of the screen.
    const QRect screen = window_->screen()->geometry();
    const QPoint middle = screen.center() - QPoint(49, 24);
    PlaceNearControl(nullptr, &box);
    QCOMPARE(box.pos(), middle);
    box.move(0, 0);
    window_->move(screen.topLeft() - QPoint(1000, 1000));
    PlaceNearControl(control_, &box);
    QCOMPARE(box.pos(), middle);
}

void TestDialogs::messageBoxIsSilverUntitledAndAnswersOkWhileTimersRun() {
    ScopedUiHost scoped(*host_);
    int ticks = 0;
    QTimer ticker;
    ticker.callOnTimeout([&] {
        if (++ticks < 3)
            return;
        ticker.stop();
        QWidget* dialog = FindDialog(QtUiHost::MessageDialogName);
        Expect(dialog && dialog->windowTitle().trimmed().isEmpty(), "box shown without a caption");
        if (!dialog)
            return;
        Expect(dialog->palette().color(QPalette::Window) == Silver && dialog->autoFillBackground(),
               "silver background");
        Expect(dialog->contentsMargins() == QMargins(2, 2, 2, 2), "border width 2");
        const auto buttons = dialog->findChildren<QPushButton*>();
        Expect(buttons.size() == 1 && buttons[0]->text() == "OK", "one OK button");
        Expect(dialog->findChild<QLabel*>()->text() == "Port <COM3> & busy", "text shown as is");
        // Placed before it was shown, when only its own size was known.
        Expect(NearControlPosition(control_->mapToGlobal(QPoint(0, 0)), control_->size(),
                                   dialog->size(),
                                   dialog->screen()->size()) == dialog->frameGeometry().topLeft(),
               "centred on the control");
        Click(dialog, QtUiHost::OkButtonName);
    });
    ticker.start(5);
    ShowMessageAt(control_, QStringLiteral("Port <COM3> & busy"));
    QCOMPARE(ticks, 3);
    QVERIFY(!FindDialog(QtUiHost::MessageDialogName));
}

void TestDialogs::noticeClosesItselfWhileTimersRun() {
    Timing::SetTestScale(10); // 100 ms instead of a second
    bool timerRan = false;
    QTimer::singleShot(20, [&] {
        timerRan = true;
        QWidget* notice = FindDialog(QtUiHost::NoticeDialogName);
        Expect(notice && notice->isVisible() && !notice->isModal(), "notice shown, not modal");
        Expect(notice && notice->findChildren<QPushButton*>().isEmpty(), "notice has no button");
        Expect(notice && notice->palette().color(QPalette::Window) == Silver, "silver notice");
    });
    QElapsedTimer clock;
    clock.start();
    host_->FlashMessage(control_, QStringLiteral("Still awaiting response from scope"));
    const qint64 elapsed = clock.elapsed();
    QVERIFY(timerRan);
    QVERIFY2(elapsed >= 90 && elapsed < 2000, qPrintable(QString::number(elapsed)));
    QVERIFY(!FindDialog(QtUiHost::NoticeDialogName));
}

void TestDialogs::questionAnswers_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("first button") << "Button1" << 1;
    QTest::newRow("second button") << "Button2" << 2;
    QTest::newRow("close box") << "close" << -1;
    QTest::newRow("escape") << "escape" << -1;
}

void TestDialogs::questionAnswers() {
    QFETCH(QString, action);
    QFETCH(int, expected);
    ScopedUiHost scoped(*host_);
    WhenShown(QtUiHost::QuestionDialogName, [&](QWidget* dialog) {
        Expect(dialog && dialog->windowTitle().trimmed().isEmpty(), "question without a caption");
        if (!dialog)
            return;
        if (action == "close")
            dialog->close();
        else if (action == "escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            Click(dialog, action.toLatin1().constData());
    });
    QCOMPARE(AskQuestion(control_, QStringLiteral("Try to AutoDetect a connected scope"),
                         QStringLiteral("YES"), QStringLiteral("NO"), 1),
             expected);
    QVERIFY(!FindDialog(QtUiHost::QuestionDialogName));
}

void TestDialogs::questionFocusesTheDefaultButton_data() {
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("answer");
    QTest::newRow("first") << 1 << 1;
    QTest::newRow("second") << 2 << 2;
    QTest::newRow("anything else") << 0 << 2;
}

void TestDialogs::questionFocusesTheDefaultButton() {
    QFETCH(int, defaultButton);
    QFETCH(int, answer);
    QString focused;
    WhenShown(QtUiHost::QuestionDialogName, [&](QWidget* dialog) {
        QWidget* focus = dialog ? dialog->focusWidget() : nullptr;
        focused = focus ? focus->objectName() : QString();
        if (focus)
            QTest::keyClick(focus, Qt::Key_Return);
    });
    QCOMPARE(host_->AskQuestion(control_, "Run now?", "YES", "NO", defaultButton), answer);
    QCOMPARE(focused, QStringLiteral("Button%1").arg(answer));
}

void TestDialogs::multiLineQuestionMovesButtonsDown() {
    struct Shape {
        QSize client;
        QRect button1, button2, label;
    };
    auto measure = [this](const QString& question) {
        Shape shape;
        WhenShown(QtUiHost::QuestionDialogName, [&](QWidget* dialog) {
            if (!dialog)
                return;
            shape = {dialog->size(), dialog->findChild<QPushButton*>("Button1")->geometry(),
                     dialog->findChild<QPushButton*>("Button2")->geometry(),
                     dialog->findChild<QLabel*>()->geometry()};
            dialog->close();
        });
        host_->AskQuestion(control_, question, "YES", "NO", 2);
        return shape;
    };
    const Shape one = measure("Open the port?");
    const Shape three = measure("Open the port?\rIt is in use\r\nby another program");

    // Short captions give the minimum width; one line leaves the buttons at 30.
    QCOMPARE(one.button1, QRect(one.button1.left(), 30, 60, 25));
    QCOMPARE(one.button2.size(), QSize(60, 25));
    QCOMPARE(one.client.height(), 60);

    const int growth = three.label.height() - one.label.height();
    QVERIFY(growth > 0);
    QCOMPARE(three.client.height(), one.client.height() + growth);
    QCOMPARE(three.button1.top(), one.button1.top() + growth);
    QCOMPARE(three.button2.top(), one.button2.top() + growth);
    QCOMPARE(three.label.top(), 5);
}

void TestDialogs::questionWhoseWindowIsDestroyedCountsAsNoAnswer() {
    // A timer closing the owning window while the question waits must not
    // leave a dangling dialog behind.
    WhenShown(QtUiHost::QuestionDialogName, [this](QWidget*) { window_.reset(); });
    QCOMPARE(host_->AskQuestion(control_, "Continue?", "YES", "NO", 1), -1);
    QVERIFY(!FindDialog(QtUiHost::QuestionDialogName));
}

void TestDialogs::plainMessageAndBusyCursor() {
    const QString previous = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("Memory Hexvac"));
    WhenShown(QtUiHost::PlainMessageDialogName, [&](QWidget* dialog) {
        Expect(dialog && dialog->windowTitle() == "Memory Hexvac", "application title");
        Expect(dialog && dialog->findChildren<QPushButton*>().size() == 1, "one button");
        Click(dialog, QtUiHost::OkButtonName);
    });
    host_->PlainMessage(QStringLiteral("Done"));
    QCoreApplication::setApplicationName(previous);

    // The hourglass is a state: twice on and once off leaves no override.
    host_->SetBusyCursor(true);
    host_->SetBusyCursor(true);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    host_->SetBusyCursor(false);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // A host that goes away while busy takes its hourglass with it.
    host_->SetBusyCursor(true);
    host_.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

HEXVAC_TEST(TestDialogs);
#include "TestDialogs.moc"
