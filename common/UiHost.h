#pragma once
// The one interface through which the core asks anything of a user.
//
// The main window installs a host that shows real Qt dialogs; tests install a
// scripted host that records every text and answers from a script; the
// command-line tool installs a console host. Core code never includes a
// widget header: it calls the helpers of StdFuncsMisc.h, which land here.

#include "common/ProcessingBox.h"
#include "common/ReportTable.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class UiHost {
public:
    virtual ~UiHost() = default;

    // Modal box with one "OK" button, centred on Control.
    virtual void ShowMessage(QObject* Control, const QString& Text) = 0;
    // Box without buttons, shown for Timing::NoticeMs while events keep flowing.
    virtual void FlashMessage(QObject* Control, const QString& Text) = 0;
    // Two-button question: 1, 2, or -1 when closed without a button.
    virtual int AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                            const QString& Caption2, int DefaultButton) = 0;
    // The platform's plain message box.
    virtual void PlainMessage(const QString& Text) = 0;
    // Hourglass cursor on or off.
    virtual void SetBusyCursor(bool Busy) = 0;
    // The file a dump is to be saved in, DefaultName offered; empty when the
    // user cancels. The default host cancels.
    virtual QString AskSaveFileName(QObject* Control, const QString& DefaultName,
                                    const QString& Filter, const QString& DefaultSuffix);
    // A processing window owned by Control's window, not yet shown. The
    // default one shows nothing.
    virtual std::unique_ptr<TProcessingBox> CreateProcessingBox(QObject* Control);
    // Shows Table in a report window owned by Control's window, with Caption,
    // modally; returns when the user has closed it. The default host shows
    // nothing.
    virtual void ShowReportWindow(QObject* Control, const QString& Caption,
                                  const TReportTable& Table);
    // Shows Lines (the communications log up to now) in a text window owned
    // by Control's window, with Caption, and returns at once: the window
    // stays open beside the program until the user closes it. The default
    // host shows nothing.
    virtual void ShowLogWindow(QObject* Control, const QString& Caption, const QStringList& Lines);

    // The program is ending (a stop signal): from now on nothing more is
    // shown or asked through this host, and CurrentUiHost() answers as the
    // silent host does (every question closed without an answer). Dialogs
    // already open are the owner's to close.
    void EndDialogs() { dialogsEnded_ = true; }
    bool DialogsEnded() const { return dialogsEnded_; }
    // For a host used again after an ending (the tests' host).
    void ResumeDialogs() { dialogsEnded_ = false; }

private:
    bool dialogsEnded_ = false;
};

// The host in force; a silent host (that records nothing and answers every
// question with -1) until one is installed, and once the installed one's
// dialogs have ended.
UiHost& CurrentUiHost();

// Whether the program is ending: the installed host's dialogs have ended.
// A window that is not shown through the host (the port lock window) asks
// this before it opens.
bool UiDialogsEnded();

// Installs Host (not owned) until the returned previous host is installed
// again, or until Host is replaced. Passing null restores the silent host.
UiHost* InstallUiHost(UiHost* Host);

// Installs a host for the lifetime of a scope, then puts the previous back.
class ScopedUiHost {
public:
    explicit ScopedUiHost(UiHost& Host)
        : previous_(InstallUiHost(&Host)) {}
    ~ScopedUiHost() { InstallUiHost(previous_); }
    ScopedUiHost(const ScopedUiHost&) = delete;
    ScopedUiHost& operator=(const ScopedUiHost&) = delete;

private:
    UiHost* previous_;
};
