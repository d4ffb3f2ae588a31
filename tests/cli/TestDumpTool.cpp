// hexvac-dump as a script sees it: its exit codes and its file.

#include "tests/support/FakePorts.h"
#include "tests/support/SimLine.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
};

Run DumpTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(HEXVAC_DUMP_PROGRAM), arguments);
    Run run;
    if (!tool.waitForFinished(60000))
        return run;
    run.exitCode = tool.exitCode();
    run.out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    return run;
}

} // namespace

class TestDumpTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { UsePrivateVirtualPortsFolder(); }
    void UsageAndNoHandbox();
    void DumpsPageTwoAndReportsFileErrors();
};

void TestDumpTool::UsageAndNoHandbox() {
    QCOMPARE(DumpTool({"--bogus"}).exitCode, 2);
    QCOMPARE(DumpTool({"--from", "zz"}).exitCode, 2);
    QCOMPARE(DumpTool({"--help"}).exitCode, 0);
    // Nothing but this test's (empty) virtual ports folder.
    QCOMPARE(DumpTool({"--virtual-only", "--to", "2"}).exitCode, 1);
}

void TestDumpTool::DumpsPageTwoAndReportsFileErrors() {
    SimHandbox sim;
    QString error;
    QVERIFY2(sim.Start(error), qPrintable(error));
    const QString port = QStringLiteral("COM%1").arg(sim.PortNumber());

    const Run list = DumpTool({"--virtual-only", "--list"});
    QCOMPARE(list.exitCode, 0);
    QVERIFY2(list.out.startsWith(port + "\t"), qPrintable(list.out));
    QVERIFY(list.out.trimmed().endsWith("\tavailable"));

    const Run info = DumpTool({"--virtual-only", "--port", port, "--info"});
    QCOMPARE(info.exitCode, 0);
    QVERIFY2(info.out.startsWith("port=" + port + " rate=9600 kind=2 model=\"Autostar 495/497\""),
             qPrintable(info.out));

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page2.bin"));
    QCOMPARE(DumpTool({"--virtual-only", "--to", "2", "--yes", "-o", file}).exitCode, 0);
    QFile dumped(file);
    QVERIFY(dumped.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (int a = 0x8000; a <= 0xFFFF; ++a)
        expected.append(char(sim.Host().Engine().Memory().At(2, std::uint16_t(a))));
    QVERIFY(dumped.readAll() == expected);

    QCOMPARE(DumpTool({"--virtual-only", "--to", "2", "-o", dir.filePath("no/dir/x.bin")}).exitCode,
             4);
}

HEXVAC_TEST(TestDumpTool);
#include "TestDumpTool.moc"
