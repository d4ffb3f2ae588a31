#include "tests/support/ProgramRun.h"

#include <QTest>

ProgramRun RunProgram(const QString& Program, const QStringList& Arguments,
                      const std::function<void(QProcess&)>& Setup) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    if (Setup)
        Setup(process);
    process.start(Program, Arguments);
    process.closeWriteChannel();
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.ExitCode = process.exitCode();
    run.Out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.Err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

void CheckCommandLineAnswers(const QString& Program, const QList<CommandLineCase>& Cases,
                             const QStringList& Leading) {
    for (const CommandLineCase& c : Cases) {
        const QString name = c.Arguments.join(u' ');
        const ProgramRun run = RunProgram(Program, Leading + c.Arguments);
        QVERIFY2(run.ExitCode == c.ExitCode,
                 qPrintable(QStringLiteral("%1: exit code %2").arg(name).arg(run.ExitCode)));
        const QString& printed = c.ExitCode == 0 ? run.Out : run.Err;
        QVERIFY2(printed.contains(QLatin1String(c.Printed)), qPrintable(name + ": " + printed));
    }
}
