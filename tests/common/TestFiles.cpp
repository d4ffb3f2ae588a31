// File sizes and menu data: the small core pieces the windows build on.

#include "common/MenuItem.h"
#include "common/StdFuncsMisc.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestFiles : public QObject {
    Q_OBJECT
private slots:
    void FileSizeOfReportsSizeOrMinusOne();
    void InstanceFilesStayOutOfTheInstallFolder();
    void MenuReportsEveryChangeFromItsRoot();
    void ClickedItemOutlivesAHandlerThatRebuildsTheMenu();
};

void TestFiles::FileSizeOfReportsSizeOrMinusOne() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("dump.bin"));
    QCOMPARE(FileSizeOf(name), qint64(-1));
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(32768, '\x5a'));
    file.close();
    QCOMPARE(FileSizeOf(name), qint64(32768));
    // A relative name is expanded against the current folder.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QCOMPARE(FileSizeOf(QStringLiteral("dump.bin")), qint64(32768));
    QDir::setCurrent(previous);
    QCOMPARE(FileSizeOf(dir.path()), qint64(0));
    QCOMPARE(FileSizeOf(QString()), qint64(-1));
}

void TestFiles::InstanceFilesStayOutOfTheInstallFolder() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
#ifdef Q_OS_WIN
    // The local application data folder, which Qt's test mode moves to a
    // folder of its own.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(QDir(UserStateFolder()).removeRecursively());
    const QString state = QDir::toNativeSeparators(UserStateFolder()) + QDir::separator();
#else
    const QByteArray previous = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toLocal8Bit());
    const QString state =
        QDir::toNativeSeparators(home.filePath(QStringLiteral("state/hexvac"))) + QDir::separator();
#endif
    const QString program = QDir::toNativeSeparators(home.path()) + QDir::separator();

    // Run from a writable build folder: beside the program, as always.
    QCOMPARE(InstanceFilesFolderFor(program, QStringLiteral("/usr/bin")), program);
    QVERIFY(!QFileInfo::exists(state));
    // Installed (even where the user may write, as root may in /usr/bin), or
    // in a folder nobody can write to: the state folder, made on the way.
    QCOMPARE(InstanceFilesFolderFor(program, home.path()), state);
    QVERIFY(QFileInfo(state).isDir());
    QCOMPARE(InstanceFilesFolderFor(home.filePath(QStringLiteral("missing")), QString()), state);
#ifdef Q_OS_WIN
    QDir(UserStateFolder()).removeRecursively();
    QStandardPaths::setTestModeEnabled(false);
#else
    // A relative $XDG_STATE_HOME is ignored, as the XDG rules say.
    qputenv("XDG_STATE_HOME", "relative/state");
    QVERIFY(!UserStateFolder().startsWith(QStringLiteral("relative")));
    if (previous.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", previous);
#endif
}

void TestFiles::MenuReportsEveryChangeFromItsRoot() {
    TMenuItem root(QStringLiteral("Scope Sources"), 0);
    QSignalSpy changed(&root, &TMenuItem::Changed);
    TMenuItem* item = root.Add(QStringLiteral("COM3: USB Serial Port"), 3);
    root.Add(QStringLiteral("-"), 0);
    QCOMPARE(changed.count(), 2);
    item->SetEnabled(false);
    item->SetEnabled(false); // no change, no signal
    item->SetChecked(true);
    QCOMPARE(changed.count(), 4);
    QCOMPARE(root.FindByTag(3), item);
    QVERIFY(root.Item(1)->IsSeparator());
    root.Clear();
    QCOMPARE(root.Count(), 0);
    QCOMPARE(changed.count(), 5);
}

void TestFiles::ClickedItemOutlivesAHandlerThatRebuildsTheMenu() {
    TMenuItem root;
    int tagSeen = -1;
    root.Add(QStringLiteral("AutoDetect"), 999, [&](TMenuItem* clicked) {
        root.Clear(); // as a port selection rebuilding the source menu does
        root.Add(QStringLiteral("AutoDetect"), 999);
        tagSeen = clicked->Tag(); // still a live item
    });
    root.Item(0)->Click();
    QCOMPARE(tagSeen, 999);
    QCOMPARE(root.Count(), 1);
}

HEXVAC_TEST(TestFiles);
#include "TestFiles.moc"
