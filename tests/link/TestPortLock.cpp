// The port lock window: lending the port to another program and taking it
// back, with the handbox checked on return.

#include "common/Timing.h"
#include "link/StdDefs.h"
#include "link/xPortLock.h"
#include "serial/COMPorts.h"
#include "serial/Exchange.h"
#include "tests/support/FakePorts.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/SimLine.h"
#include "tests/support/TestRegistry.h"

#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// Shows the window for a released Port and presses one of its buttons.
QString Press(TApdComPort& port, const char* button, const QString& savedType,
              bool wasInDownloadMode = false) {
    TPortLockRequest request;
    request.Port = &port;
    request.ResultCode = QStringLiteral("LOCK");
    request.SavedType = savedType;
    request.WasInDownloadMode = wasInDownloadMode;
    QTimer::singleShot(0, [button] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* lock = qobject_cast<TPortLock*>(w)) {
                QCOMPARE(lock->windowTitle(),
                         QStringLiteral("COM%1 is now free").arg(lock->Port->ComNumber()));
                lock->close(); // the close box does nothing
                lock->findChild<QToolButton*>(QLatin1String(button))->click();
            }
    });
    ShowPortLockWindow(request);
    return request.ResultCode;
}

} // namespace

class TestPortLock : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void CancelAsksForANewDetection();
    void ReconnectChecksTheHandboxThatWasThere_data();
    void ReconnectChecksTheHandboxThatWasThere();
    void ReconnectWithoutAHandboxSendsNothing();
    void PortTakenMeanwhileCannotBeReconnected();

private:
    ScriptedUiHost host_;
    UiHost* previous_ = nullptr;
    std::unique_ptr<ScopedFakePorts> ports_;
};

void TestPortLock::initTestCase() {
    UsePrivateVirtualPortsFolder();
}

void TestPortLock::init() {
    Timing::SetTestScale(20);
    host_.Clear();
    previous_ = InstallUiHost(&host_);
    ports_ = std::make_unique<ScopedFakePorts>();
    ResetLinkState();
}

void TestPortLock::cleanup() {
    ports_.reset();
    InstallUiHost(previous_);
}

void TestPortLock::CancelAsksForANewDetection() {
    SimLine line;
    QString error;
    QVERIFY2(line.Start(error), qPrintable(error));
    line.Port.Log.SetLogging(tlOn);
    line.Port.SetOpen(false);
    QCOMPARE(Press(line.Port, "SBCancel", QString()), QStringLiteral("LOCKCancel"));
    QCOMPARE(host_.Texts(), QStringList({"Autodetect will be run to reset app"}));
    QVERIFY(LogText(line.Port).contains("Port reaquire Cancelled, Default to Autodetect"));
    QVERIFY(!line.Port.Open());
}

void TestPortLock::ReconnectChecksTheHandboxThatWasThere_data() {
    QTest::addColumn<bool>("simInDownload");
    QTest::addColumn<bool>("wasInDownload");
    QTest::addColumn<bool>("sameType");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("said");
    QTest::newRow("same handbox") << false << false << true << "LOCK"
                                  << "Reconnected OK";
    QTest::newRow("another handbox") << false << false << false << "LOCKLostType"
                                     << "Scope on port has changed";
    QTest::newRow("now in download mode") << true << false << true << "LOCKLostDnld"
                                          << "Scope on port has changed to dnld mode";
    QTest::newRow("still in download mode") << true << true << false << "LOCK"
                                            << "Scope on port is in download mode";
}

void TestPortLock::ReconnectChecksTheHandboxThatWasThere() {
    QFETCH(bool, simInDownload);
    QFETCH(bool, wasInDownload);
    QFETCH(bool, sameType);
    QFETCH(QString, code);
    QFETCH(QString, said);
    HandboxSettings settings;
    settings.DownloadMode = simInDownload;
    SimLine line(settings);
    QString error;
    QVERIFY2(line.Start(error), qPrintable(error));
    ports_->Ports().AddPort(line.Host().PortNumber(), "pts handbox");
    line.Port.Log.SetLogging(tlOn);
    const HandboxEngine& engine = line.Host().Engine();
    const QString saved =
        QString::fromStdString(std::string(engine.Model().ProductName) +
                               (sameType ? engine.FirmwareDate() : "Jan 01 2000"));
    line.Port.SetOpen(false);
    LinkState.ScopeFound = true;
    QCOMPARE(Press(line.Port, "SBReconnect", saved, wasInDownload), code);
    QCOMPARE(host_.Texts(), QStringList({said}));
    QVERIFY(line.Port.Open());
    QVERIFY(LogText(line.Port).contains("Port Reconnected "));
    QVERIFY(CountInUseAsAvailable);
}

void TestPortLock::ReconnectWithoutAHandboxSendsNothing() {
    TApdComPort port;
    ScriptedPeer peer;
    QString error;
    const int number = peer.Start(error);
    QVERIFY2(number, qPrintable(error));
    ports_->Ports().AddPort(number, "pts peer");
    port.SetComNumber(number);
    port.Log.SetLogging(tlOn);
    QCOMPARE(Press(port, "SBReconnect", QString()), QStringLiteral("LOCK"));
    QVERIFY(port.Open());
    QTest::qWait(50);
    QVERIFY(peer.Received().isEmpty());
    QVERIFY(LogText(port).contains("Port Reconnected "));
    QCOMPARE(host_.Entries().size(), 0);
}

void TestPortLock::PortTakenMeanwhileCannotBeReconnected() {
    TApdComPort port;
    port.SetComNumber(207);
    ports_->Ports().AddPort(207, "pts elsewhere", TPortState::Held);
    LinkState.ScopeFound = true;
    QCOMPARE(Press(port, "SBReconnect", QStringLiteral("Autostar")),
             QStringLiteral("LOCKLostPort"));
    QCOMPARE(host_.Texts(), QStringList({"Original Port is Locked\rCant reconnect"}));
    QVERIFY(!port.Open());
    QVERIFY(CountInUseAsAvailable);
}

HEXVAC_TEST(TestPortLock);
#include "TestPortLock.moc"
