// The version text shown by "About" and written at the top of every log.

#include "link/StdDefs.h"
#include "serial/Version.h"
#include "tests/support/ScriptedUiHost.h"
#include "tests/support/TestRegistry.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestVersionText : public QObject {
    Q_OBJECT
private slots:
    void NamesTheExecutableItsVersionAndItsDate();
    void UnreadableVersionSaysSoAndGivesVerUnknown();
};

void TestVersionText::NamesTheExecutableItsVersionAndItsDate() {
    SetFixedFormats();
    FormatSettings.LongTimeFormat = QStringLiteral("HH:mm:ss");
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("hexvac"));
    QFile file(exe);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2026, 3, 4), QTime(10, 11, 12)),
                             QFileDevice::FileModificationTime));
    file.close();

    QCOMPARE(VersionTextFor(exe, QStringLiteral("1.2.3.4")),
             QStringLiteral("hexvac  Ver: 1.2.3.4   Created 04/03/2026 10:11:12"));

    // The program's own text: its file name and the compiled-in version.
    const QString own = GetVersionText();
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QVERIFY2(own.startsWith(name + QStringLiteral("  Ver: ") + QStringLiteral(HEXVAC_VERSION) +
                            QStringLiteral("   Created ")),
             qPrintable(own));
    QVERIFY(
        QRegularExpression(QStringLiteral("Created \\d\\d/\\d\\d/\\d{4}")).match(own).hasMatch());
}

void TestVersionText::UnreadableVersionSaysSoAndGivesVerUnknown() {
    ScriptedUiHost host;
    const ScopedUiHost use(host);
    QCOMPARE(VersionTextFor(QStringLiteral("/nonexistent/hexvac"), QStringLiteral("1.0")),
             QStringLiteral("Ver Unknown"));
    QCOMPARE(VersionTextFor(QCoreApplication::applicationFilePath(), QString()),
             QStringLiteral("Ver Unknown"));
    QCOMPARE(host.Texts(), QStringList({"GetVersionInfo Failed", "GetVersionInfo Failed"}));
    QCOMPARE(host.Entries().first().kind, ScriptedUiHost::Kind::Plain);
}

HEXVAC_TEST(TestVersionText);
#include "TestVersionText.moc"
