#pragma once
// One of our programs run as a user or a script runs it: for the tests of
// its command line and of what it prints.

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

struct ProgramRun {
    int ExitCode = -1; // -1: crashed, or still running when the wait ended
    QString Out;
    QString Err;
};

// Runs Program with Arguments and no input, on the offscreen platform; one
// still running after a minute is killed. Setup may change the process's
// environment or user before it starts.
ProgramRun RunProgram(const QString& Program, const QStringList& Arguments,
                      const std::function<void(QProcess&)>& Setup = {});

// What a program answers to its command line alone: the arguments end it
// with ExitCode, and Printed is in what it printed, on standard output for
// exit 0 and on standard error otherwise.
struct CommandLineCase {
    QStringList Arguments;
    int ExitCode;
    const char* Printed;
};

// Runs Program with Leading and each case's arguments, and checks the case.
void CheckCommandLineAnswers(const QString& Program, const QList<CommandLineCase>& Cases,
                             const QStringList& Leading = {});
