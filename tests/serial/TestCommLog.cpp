// Restarting the communications log with its header, and showing the log in
// an attached view through the line filter.

#include "common/StdFuncsMisc.h"
#include "serial/ApdComPort.h"
#include "serial/CommLog.h"
#include "serial/Version.h"
#include "tests/serial/LogTestSupport.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QTest>
#include <memory>

namespace {

// A log view that records what it was asked to do.
class FakeView final : public TLogView {
public:
    void Clear() override { Calls << QStringLiteral("Clear"); }
    void SetLines(const QStringList& NewLines) override {
        Calls << QStringLiteral("SetLines");
        Lines = NewLines;
    }
    void ScrollToEnd() override { Calls << QStringLiteral("ScrollToEnd"); }

    QStringList Calls;
    QStringList Lines;
};

void WriteLines(const QString& Name, const QStringList& Lines) {
    QFile file(Name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write((Lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toLatin1());
}

// An entry line as the port writes it, for hand-made log files.
QString Entry(const char* TypeAndSubtype, const char* Data) {
    return QStringLiteral("    0.125 ") + QString::fromLatin1(TypeAndSubtype).leftJustified(20) +
           QString::fromLatin1(Data);
}

const QStringList HandMadeHeader = {
    QStringLiteral("Appended serial log"), QStringLiteral("Comport: COM201"),
    QStringLiteral("Date: 09/05/2026"),    QStringLiteral("Time: 09:05:07"),
    QStringLiteral("Kept as is: a[20]b"),  Entry("Trigger   Avail", "3"),
    QStringLiteral("----------"),
};

} // namespace

class TestCommLog : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(log_.Fresh()); }
    void ClearLogStartsWithVersionAndTimeOnlyForASetPort();
    void ClearLogReportsEachFailureWithItsText();
    void RefreshWithoutAViewChangesNothing();
    void RefreshShowsTrafficAndProgramLinesUnderOneHeader();
    void RefreshFilterReadsTypeAndSubtypeColumns();
    void RefreshFailuresLoseNothingAndCrashNothing();

private:
    LogFolder log_;
};

void TestCommLog::ClearLogStartsWithVersionAndTimeOnlyForASetPort() {
    ScriptedUiHost host;
    const ScopedUiHost use(host);
    TApdComPort port;
    port.Log.LogName = log_.LogName;
    port.Tag = 77;
    ClearLog(port, QTime(9, 5, 7, 42));
    QCOMPARE(port.Log.Logging(), tlOn);
    QVERIFY(port.Log.BufferedLines().isEmpty());
    QCOMPARE(port.Tag, 0);

    port.SetComNumber(201);
    port.Tag = 1234;
    FakeView view;
    port.LogMemo = &view;
    WriteLines(log_.LogName, {QStringLiteral("old log")});
    port.Log.AddStringToLog(QStringLiteral("old entry"));
    ClearLog(port, QTime(9, 5, 7, 42));
    QVERIFY(!QFile::exists(log_.LogName));
    const QStringList lines = port.Log.BufferedLines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(DataOf(lines[0]), GetVersionText().toLatin1());
    QCOMPARE(DataOf(lines[1]), QByteArray("09:05:07:042"));
    QCOMPARE(port.Tag, 0);
    QCOMPARE(view.Calls, QStringList{QStringLiteral("Clear")});
    QCOMPARE(host.Texts(), QStringList());
}

void TestCommLog::ClearLogReportsEachFailureWithItsText() {
    ScriptedUiHost host;
    const ScopedUiHost use(host);
    TApdComPort port;
    port.SetComNumber(3);
    // A clock that cannot be read gives zeros, and the log still starts.
    ClearLog(port, QTime());
    QCOMPARE(host.Texts(), QStringList{QStringLiteral("DecodeTime Blew Up")});
    QCOMPARE(DataOf(port.Log.BufferedLines().at(1)), QByteArray("00:00:00:000"));

    // A log file that cannot be deleted (a folder that is not empty) ends
    // ClearLog at once.
    host.Clear();
    port.Log.LogName = log_.Dir.filePath(QStringLiteral("busy"));
    QVERIFY(QDir(log_.Dir.path()).mkpath(QStringLiteral("busy/inside")));
    port.Tag = 5;
    ClearLog(port, QTime(1, 2, 3, 4));
    QCOMPARE(host.Texts(), QStringList{QStringLiteral("Log Off/Clear/On Blew Up")});
    QCOMPARE(port.Tag, 5);
}

void TestCommLog::RefreshWithoutAViewChangesNothing() {
    TApdComPort port;
    port.Log.LogName = log_.LogName;
    port.Log.SetLogging(tlOn);
    port.Log.AddEntry(TLogEntry::Write, "#:GVP#");
    const QStringList before = port.Log.BufferedLines();
    QVERIFY(!RefreshLog(port));
    QVERIFY(!QFile::exists(log_.LogName));
    QCOMPARE(port.Log.BufferedLines(), before);
}

void TestCommLog::RefreshShowsTrafficAndProgramLinesUnderOneHeader() {
    ScriptedUiHost host;
    const ScopedUiHost use(host);
    TApdComPort port;
    port.SetComNumber(201);
    port.Log.LogName = log_.LogName;
    FakeView view;
    port.LogMemo = &view;
    ClearLog(port, QTime(9, 5, 7, 42));
    for (const TLogEntry kind :
         {TLogEntry::TriggerAlloc, TLogEntry::TriggerChange, TLogEntry::TriggerAvail,
          TLogEntry::TriggerData, TLogEntry::TriggerTimer, TLogEntry::TriggerDispose,
          TLogEntry::HandlerAlloc})
        port.Log.AddEntry(kind, "1 2");
    port.Log.AddEntry(TLogEntry::Write, "#:GV P#");
    port.Log.AddEntry(TLogEntry::Read, "RCX400");
    port.Log.AddStringToLog(QStringLiteral("Action Timed out "));
    view.Calls.clear();

    QVERIFY(RefreshLog(port));
    QCOMPARE(port.Tag, int(FileSizeOf(log_.LogName)));
    QCOMPARE(view.Calls, (QStringList{QStringLiteral("SetLines"), QStringLiteral("ScrollToEnd")}));
    QCOMPARE(view.Lines.mid(0, 7), FileLines(log_.LogName).mid(0, 7));
    QStringList shown;
    for (const QString& line : view.Lines.mid(7))
        shown << line.mid(30);
    QCOMPARE(shown, (QStringList{GetVersionText(), QStringLiteral("09:05:07:042"),
                                 QStringLiteral("#:GV P#"), QStringLiteral("RCX400"),
                                 QStringLiteral("Action Timed out ")}));
    QVERIFY(port.Log.BufferedLines().isEmpty());
    QCOMPARE(port.Log.Logging(), tlOn);

    // A second batch: the file gets a second header, the view does not.
    port.Log.AddStringToLog(QStringLiteral("---Test Bauds--- on COM201"));
    QVERIFY(RefreshLog(port));
    QCOMPARE(view.Lines.size(), 7 + 6);
    QCOMPARE(view.Lines.last().mid(30), QStringLiteral("---Test Bauds--- on COM201"));

    // Nothing new (the log was paused): same size, no reload, and logging
    // starts again on an empty buffer.
    view.Calls.clear();
    port.Log.SetLogging(tlPause);
    port.Log.AddStringToLog(QStringLiteral("not recorded"));
    QVERIFY(!RefreshLog(port));
    QCOMPARE(view.Calls, QStringList());
    QCOMPARE(port.Log.Logging(), tlOn);
    QCOMPARE(port.Log.FreeSpace(), port.Log.LogSize);
    QCOMPARE(host.Texts(), QStringList());
}

void TestCommLog::RefreshFilterReadsTypeAndSubtypeColumns() {
    TApdComPort port;
    port.Log.LogName = log_.LogName;
    FakeView view;
    port.LogMemo = &view;
    QStringList lines = HandMadeHeader;
    lines << QStringLiteral("-----") << QStringLiteral("Appended serial log")
          << QStringLiteral("Comport: COM3") << QStringLiteral("Date: 01/01/2026")
          << QStringLiteral("Other") << QStringLiteral("Type      SubType   Data")
          << Entry("Trigger   Avail", "3") << Entry("Trigger   Timer", "2")
          << Entry("TrDatChg  Anything", "") << Entry("TrgHdAlc", "") << Entry("TrigAllcXX", "")
          << Entry("TrigDisp  Dispose", "1") << Entry("Dispatch  Data", "x")
          << Entry("Trigger   Data", "1")
          // kept: other types or subtypes, and first characters outside the set
          << Entry("Trigger   Write", "a[20]b[20][20]c") << Entry("TrigAll", "[20]")
          << QStringLiteral("Bad first letter[20]") << QString() << QStringLiteral("short");
    WriteLines(log_.LogName, lines);
    QVERIFY(RefreshLog(port));
    QCOMPARE(view.Lines.mid(0, 7), HandMadeHeader);
    QCOMPARE(
        view.Lines.mid(7),
        (QStringList{Entry("Trigger   Write", "a b  c"), Entry("TrigAll", " "),
                     QStringLiteral("Bad first letter "), QString(), QStringLiteral("short")}));

    // A file of 7 lines or fewer is shown as it is.
    WriteLines(log_.LogName, HandMadeHeader.mid(0, 3));
    QVERIFY(RefreshLog(port));
    QCOMPARE(view.Lines, HandMadeHeader.mid(0, 3));
}

void TestCommLog::RefreshFailuresLoseNothingAndCrashNothing() {
    ScriptedUiHost host;
    const ScopedUiHost use(host);
    TApdComPort port;
    port.SetComNumber(201);
    port.Log.LogName = log_.Dir.filePath(QStringLiteral("missing/Hexvac42.LOG"));
    auto view = std::make_unique<FakeView>();
    port.LogMemo = view.get();
    ClearLog(port, QTime(9, 5, 7, 42));
    const QStringList before = port.Log.BufferedLines();
    QVERIFY(!RefreshLog(port));
    QCOMPARE(host.Texts(), QStringList{QStringLiteral("Exception in RefreshLog")});
    QCOMPARE(port.Log.BufferedLines(), before);
    QCOMPARE(port.Log.Logging(), tlOn);

    // A window closing while the refresh handles pending messages takes its
    // view with it.
    port.Log.LogName = log_.LogName;
    QMetaObject::invokeMethod(
        &port,
        [&] {
            port.LogMemo = nullptr;
            view.reset();
        },
        Qt::QueuedConnection);
    QVERIFY(RefreshLog(port));
    QVERIFY(!view);
    QVERIFY(port.Log.BufferedLines().isEmpty());
}

HEXVAC_TEST(TestCommLog);
#include "TestCommLog.moc"
