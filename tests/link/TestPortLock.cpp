// The port lock window and what it calls: lending the port to another
// program and taking it back, with the handbox checked on return.

#include "common/VirtualPorts.h"
#include "diag/PortEnumLinux.h"
#include "link/PortLockCheck.h"
#include "link/StdDefs.h"
#include "link/xPortLock.h"
#include "serial/COMPorts.h"
#include "serial/Exchange.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/LinkFixture.h"
#include "tests/support/TestRegistry.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

Q_DECLARE_METATYPE(HandboxSettings)
Q_DECLARE_METATYPE(LineOptions)

namespace {

// What port selection keeps of a handbox before it lets the port go: the
// product name, then the firmware date of the kinds that have one.
QString SavedTypeOf(TApdComPort& port) {
    QByteArray product;
    SendCommandTerminated(port, ":GVP#", "#", product, 5000);
    return QString::fromLatin1(product) + GetFirmwareDateText(port);
}

// Shows the window for a released port as port selection does, lets Look at
// it, then presses Button. Look only records: the button must always be
// pressed, or the window would never end.
QString Press(TApdComPort& port, const char* button, const QString& savedType,
              bool wasInDownloadMode = false, bool wasParked = false,
              const std::function<void(TPortLock&)>& look = {}) {
    TPortLockRequest request;
    request.Port = &port;
    request.ResultCode = QStringLiteral("LOCK");
    request.SavedType = savedType;
    request.WasInDownloadMode = wasInDownloadMode;
    request.WasParked = wasParked;
    QTimer::singleShot(0, [button, look] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* lock = qobject_cast<TPortLock*>(w); lock && lock->isVisible()) {
                if (look)
                    look(*lock);
                lock->findChild<QToolButton*>(QLatin1String(button))->click();
            }
    });
    ShowPortLockWindow(request);
    return request.ResultCode;
}

// The real Linux port backend, seeing no device of this machine but the
// virtual ports and the system's lock folders, for as long as it lives.
class VirtualOnlyPorts {
public:
    VirtualOnlyPorts() {
        TLinuxPortPaths paths;
        paths.SysRoot = empty_.path().toStdString();
        paths.UdevDataRoot = empty_.path().toStdString();
        paths.VirtualFolder = VirtualPortsFolder();
        previous_ = InstallPortEnumBackend(std::make_unique<TLinuxPortEnumBackend>(paths));
    }
    ~VirtualOnlyPorts() { InstallPortEnumBackend(std::move(previous_)); }

private:
    QTemporaryDir empty_;
    std::unique_ptr<TPortEnumBackend> previous_;
};

} // namespace

class TestPortLock : public QObject {
    Q_OBJECT
private slots:
    void init() {
        link_.Begin(20, LinkFixture::FakePorts);
        RegisteredMenus().CountInUseAsAvailable = true;
    }
    void cleanup() { link_.End(); }
    void OnlyReconnectOrCancelEndTheWindow();
    void NoWindowOpensOnceTheProgramIsEnding();
    void ReconnectChecksTheHandboxThatWasThere_data();
    void ReconnectChecksTheHandboxThatWasThere();
    void TheWindowShowsWhatReconnectFound_data();
    void TheWindowShowsWhatReconnectFound();
    void ReconnectWithoutAHandboxSendsNothing();
    void ButtonsPressedDuringTheCheckAreIgnored();
    void PortTakenByAnotherProgramCannotBeReconnected_data();
    void PortTakenByAnotherProgramCannotBeReconnected();

private:
    // A handbox found on the simulated line, then released with the kind
    // and saved type port selection kept ("same": taken from the handbox).
    bool LendHandbox(SimLine& Sim, int Kind, QString& Saved) {
        if (!link_.Start(Sim))
            return false;
        link_.Ports().AddPort(Sim.Host().PortNumber(), "pts handbox");
        Sim.Port.Log.SetLogging(tlOn);
        LinkState.ScopeFound = true;
        LinkState.HandboxKind = static_cast<std::uint8_t>(Kind);
        if (Saved == QLatin1String("same") && !Sim.Host().Engine().InDownloadMode())
            Saved = SavedTypeOf(Sim.Port);
        Sim.Port.SetOpen(false);
        return true;
    }

    // Starts Line, its port listed and logging, and lets the port go as port
    // selection does before it shows the window.
    template <class Line> bool Released(Line& L) {
        if (!link_.Start(L))
            return false;
        link_.Ports().AddPort(L.Port.ComNumber(), "pts line");
        L.Port.Log.SetLogging(tlOn);
        L.Port.SetOpen(false);
        return true;
    }

    LinkFixture link_;
};

// A stop has ended the dialogs: the window does not open, and the port
// stays as it was left.
void TestPortLock::NoWindowOpensOnceTheProgramIsEnding() {
    SimLine line;
    QVERIFY(Released(line));
    link_.Ui.EndDialogs();
    bool shown = false;
    const QString code =
        Press(line.Port, "SBCancel", QString(), false, false, [&](TPortLock&) { shown = true; });
    link_.Ui.ResumeDialogs();
    QVERIFY(!shown);
    QCOMPARE(code, QStringLiteral("LOCK"));
    QVERIFY(!line.Port.Open());
}

void TestPortLock::OnlyReconnectOrCancelEndTheWindow() {
    SimLine line;
    QVERIFY(Released(line));

    QString title;
    QSize client;
    QStringList captions;
    QList<QRect> places;
    Qt::WindowFlags flags;
    bool openAfterCloseAndEscape = false, openAfterMinimise = false;
    const QString code =
        Press(line.Port, "SBCancel", QString(), false, false, [&](TPortLock& lock) {
            title = lock.windowTitle();
            client = lock.size();
            flags = lock.windowFlags();
            for (const QToolButton* b : {lock.SBMinimise, lock.SBReconnect, lock.SBCancel}) {
                captions << b->text();
                places << b->geometry();
            }
            lock.close();
            QTest::keyClick(&lock, Qt::Key_Escape);
            openAfterCloseAndEscape = lock.isVisible();
            lock.SBMinimise->click();
            openAfterMinimise = lock.isVisible() && lock.isMinimized();
        });

    QCOMPARE(title, QStringLiteral("COM%1 is now free").arg(line.Port.ComNumber()));
    QCOMPARE(client, QSize(191, 112));
    QCOMPARE(captions, QStringList({"Minimise", "Reconnect", "Cancel"}));
    QCOMPARE(places, QList<QRect>({{39, 21, 113, 22}, {39, 45, 113, 22}, {39, 69, 113, 22}}));
    QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
    QVERIFY(openAfterCloseAndEscape);
    QVERIFY(openAfterMinimise);

    QCOMPARE(code, QStringLiteral("LOCKCancel"));
    QCOMPARE(link_.Ui.Texts(), QStringList({"Autodetect will be run to reset app"}));
    QVERIFY(LogText(line.Port).contains("Port reaquire Cancelled, Default to Autodetect"));
    QVERIFY(!line.Port.Open());
}

void TestPortLock::ReconnectChecksTheHandboxThatWasThere_data() {
    QTest::addColumn<HandboxSettings>("handbox");
    QTest::addColumn<LineOptions>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("wasInDownload");
    QTest::addColumn<bool>("wasParked");
    QTest::addColumn<QString>("saved"); // "same": taken from the handbox
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("said");

    const HandboxSettings as497;
    HandboxSettings mount = With(&HandboxSettings::Model, HandboxModel::GermanMount1697);
    HandboxSettings downloading;
    downloading.DownloadMode = true;
    HandboxSettings parked = With(&HandboxSettings::Parked, ParkedStyle::AnswersAck);
    LineOptions hangs;
    hangs.HangAfter = 2; // answers the two questions of the saved type only

    QTest::newRow("same 497") << as497 << LineOptions{} << 2 << false << false << "same"
                              << "LOCK"
                              << "Reconnected OK";
    // It answers ":GVD#", but its type was saved without a date.
    QTest::newRow("same 1697 mount") << mount << LineOptions{} << 6 << false << false << "same"
                                     << "LOCK"
                                     << "Reconnected OK";
    QTest::newRow("another model")
        << as497 << LineOptions{} << 2 << false << false << "LX2001Jun 29 2004"
        << "LOCKLostType"
        << "Scope on port has changed";
    QTest::newRow("handbox hangs") << as497 << hangs << 2 << false << false << "same"
                                   << "LOCKLostScope"
                                   << "Scope no longer on port";
    QTest::newRow("now in download mode")
        << downloading << LineOptions{} << 2 << false << false << "same"
        << "LOCKLostDnld"
        << "Scope on port has changed to dnld mode";
    QTest::newRow("still in download mode")
        << downloading << LineOptions{} << 7 << true << false << ""
        << "LOCK"
        << "Scope on port is in download mode";
    QTest::newRow("still parked") << parked << LineOptions{} << 2 << false << true << ""
                                  << "LOCK"
                                  << "Scope on port is Still Parked";
}

void TestPortLock::ReconnectChecksTheHandboxThatWasThere() {
    QFETCH(HandboxSettings, handbox);
    QFETCH(LineOptions, line);
    QFETCH(int, kind);
    QFETCH(bool, wasInDownload);
    QFETCH(bool, wasParked);
    QFETCH(QString, saved);
    QFETCH(QString, code);
    QFETCH(QString, said);
    SimLine sim(handbox, line);
    QVERIFY(LendHandbox(sim, kind, saved));
    const qsizetype before = LogText(sim.Port).size();

    // The check itself, without the window: it only logs, and says what the
    // window is to show.
    TPortLockRequest request;
    request.Port = &sim.Port;
    request.SavedType = saved;
    request.WasInDownloadMode = wasInDownload;
    request.WasParked = wasParked;
    const TPortLockVerdict verdict = ReconnectLentPort(request);
    QCOMPARE(verdict.ResultCode, code);
    QCOMPARE(verdict.Message, said);
    QCOMPARE(verdict.Notice, said == QLatin1String("Reconnected OK"));
    QCOMPARE(link_.Ui.Entries().size(), 0);
    QVERIFY(RegisteredMenus().CountInUseAsAvailable);
    const QString log = LogText(sim.Port).mid(before);
    QVERIFY(log.contains("Port Reconnected "));
    if (verdict.Notice) {
        QVERIFY(sim.Port.Open());
        QVERIFY(log.contains(":GVP#"));
        QCOMPARE(log.contains(":GVD#"), kind == 2);
        QVERIFY(log.contains("Scope on port revalidated OK"));
    }
}

void TestPortLock::TheWindowShowsWhatReconnectFound_data() {
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("kind"); // how the window says it
    QTest::addColumn<QString>("said");
    QTest::newRow("same handbox") << "same"
                                  << "LOCK" << int(ScriptedUiHost::Kind::Notice)
                                  << "Reconnected OK";
    QTest::newRow("another model")
        << "LX2001Jun 29 2004"
        << "LOCKLostType" << int(ScriptedUiHost::Kind::Message) << "Scope on port has changed";
}

void TestPortLock::TheWindowShowsWhatReconnectFound() {
    QFETCH(QString, saved);
    QFETCH(QString, code);
    QFETCH(int, kind);
    QFETCH(QString, said);
    SimLine sim;
    QVERIFY(LendHandbox(sim, htAutostar497, saved));

    QCOMPARE(Press(sim.Port, "SBReconnect", saved), code);
    QCOMPARE(link_.Ui.Texts(), QStringList{said});
    QCOMPARE(int(link_.Ui.Entries().last().kind), kind);
    QCOMPARE(link_.Ui.Entries().last().anchor, QStringLiteral("PortLock"));
    QVERIFY(RegisteredMenus().CountInUseAsAvailable);
}

void TestPortLock::ReconnectWithoutAHandboxSendsNothing() {
    PeerLine line;
    QVERIFY(Released(line));
    QCOMPARE(Press(line.Port, "SBReconnect", QString()), QStringLiteral("LOCK"));
    QVERIFY(line.Port.Open());
    QTest::qWait(50);
    QVERIFY(line.Peer.Received().isEmpty());
    QVERIFY(LogText(line.Port).contains("Port Reconnected "));
    QCOMPARE(link_.Ui.Entries().size(), 0);
}

void TestPortLock::ButtonsPressedDuringTheCheckAreIgnored() {
    PeerLine silent;
    QVERIFY(Released(silent));
    TApdComPort& port = silent.Port;
    LinkState.ScopeFound = true;
    bool pressedDuringCheck = false;
    const QString code =
        Press(port, "SBReconnect", QStringLiteral("Autostar"), false, false, [&](TPortLock& lock) {
            QTimer::singleShot(20, &lock, [&lock, &pressedDuringCheck] {
                pressedDuringCheck = lock.isVisible();
                lock.SBCancelClick();
                lock.SBReconnectClick();
            });
        });
    QVERIFY(pressedDuringCheck);
    QCOMPARE(code, QStringLiteral("LOCKLostScope"));
    QCOMPARE(link_.Ui.Texts(), QStringList({"Scope no longer on port"}));
    QCOMPARE(LogText(port).count("Port Reconnected "), 1);
}

void TestPortLock::PortTakenByAnotherProgramCannotBeReconnected_data() {
    QTest::addColumn<bool>("seenHeld");
    QTest::newRow("held when tested") << true;
    // Free when tested, taken before the open: the failed open must not
    // count as a reconnection.
    QTest::newRow("taken before the open") << false;
}

void TestPortLock::PortTakenByAnotherProgramCannotBeReconnected() {
    QFETCH(bool, seenHeld);
    SimLine sim;
    QVERIFY(Released(sim));
    const int number = sim.Host().PortNumber();
    LinkState.ScopeFound = true;
    std::unique_ptr<VirtualOnlyPorts> system;
    if (seenHeld)
        system = std::make_unique<VirtualOnlyPorts>();

    // The other program: QSerialPort's lock file marks the port as its.
    QSerialPort other(QString::fromStdString(sim.Host().LinkPath()));
    QVERIFY(other.open(QIODevice::ReadWrite));
    RegisteredMenus().CountInUseAsAvailable = false;
    QCOMPARE(IsPortAvailable(number), !seenHeld);
    RegisteredMenus().CountInUseAsAvailable = true;

    QCOMPARE(Press(sim.Port, "SBReconnect", QStringLiteral("Autostar")),
             QStringLiteral("LOCKLostPort"));
    QCOMPARE(link_.Ui.Texts(), QStringList({"Original Port is Locked\rCant reconnect"}));
    QVERIFY(LogText(sim.Port).contains("Port is locked, cant reconnect"));
    QVERIFY(!sim.Port.Open());
    QVERIFY(RegisteredMenus().CountInUseAsAvailable);
}

HEXVAC_TEST(TestPortLock);
#include "TestPortLock.moc"
