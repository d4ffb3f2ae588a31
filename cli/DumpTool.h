#pragma once
// hexvac-dump: the memory dump without a window.

#include <QString>
#include <optional>

struct TDumpToolOptions {
    int Port = 0;            // COM<n>; 0 = automatic detection
    std::optional<int> From; // pages, hexadecimal on the command line
    std::optional<int> To;
    bool IncludeLow = false;
    bool Only = false;
    int Mode = 0;    // 0 = ask (its default), 1 = download, 2 = peek
    QString Output;  // empty: the name the window would offer
    QString LogFile; // --log: the run's communications log; empty: none
    bool Info = false;
    bool List = false;
    bool Help = false;
    bool Version = false;
    bool Yes = false;         // every question takes its default
    bool VirtualOnly = false; // look at virtual ports only
    QString PortReport;       // the FORMAT of --port-report; empty: no report
    bool Verify = false;      // every half-block read until two reads agree
    QString Check;            // --check FILE: is it the file its manifest describes?
    QString Resume;           // --resume FILE: continue the dump in FILE
};

// Exit codes.
enum TDumpExit {
    ExitComplete = 0,
    ExitNoHandbox = 1,
    ExitUsage = 2,
    ExitIncomplete = 3, // also cancelled, stopped by a signal, or the handbox lost
    ExitFile = 4
};

// Reads the arguments (without the program name): "--opt value", "--opt=value"
// and a single dash alike. False with Error set on a usage error.
bool ParseDumpToolOptions(const QStringList& Arguments, TDumpToolOptions& Options, QString& Error);

// The --help text: the options, then the questions, signals and exit codes.
QString DumpToolUsage();

struct TDumpManifest;
// Why the options given with --resume disagree with the dump's manifest;
// empty when every option given says what the manifest says.
QString ResumeDisagreement(const TDumpToolOptions& Options, const TDumpManifest& Manifest);

// Runs the tool; returns its exit code.
int RunDumpTool(const TDumpToolOptions& Options);
