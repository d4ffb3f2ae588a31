// "Run": the main window's memory dump, and its Cancel.

#include "app/Dump.h"

#include "app/LinkCommandScope.h"
#include "common/StdFuncsMisc.h"
#include "link/DumpResume.h"
#include "link/DumpRun.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QToolButton>

namespace {

// The window as the dump run sees it.
class WindowDumpFace final : public TDumpFace {
public:
    explicit WindowDumpFace(TFHexvac& Window)
        : w_(Window) {}
    bool CancelRequested() override { return w_.CancelRequested; }
    void SetLabel(const QString& Text) override { w_.Label4->setText(Text); }
    void SetProgress(int Maximum, int Position) override {
        w_.PB1->setMaximum(std::max(Maximum, 1));
        w_.PB1->setValue(Position);
    }
    void SetSpinner(const QString& Text) override { w_.Label2->setText(Text); }

private:
    TFHexvac& w_;
};

// What the window asks before it continues the unfinished dump in FileName.
QString ResumeQuestion(const QString& FileName, const TDumpManifest& Unfinished) {
    return QStringLiteral("%1 holds a dump of this handbox\r"
                          "that stopped after %3 of %4 bytes (%2).\r"
                          "Continue it?")
        .arg(QFileInfo(FileName).fileName(), OutcomeWord(Unfinished.Outcome))
        .arg(Unfinished.Bytes)
        .arg(Unfinished.ExpectedBytes);
}

} // namespace

void TFHexvac::SBLoadClick() {
    Handle([this] {
        if (dumpRunning_) {
            RequestCancel(); // the button says "Cancel"
            return;
        }
        if (!LinkCommandMayStart(QStringLiteral("Run")))
            return;
        CancelRequested = false;
        RunDumpToFile();
    });
}

void TFHexvac::RunDumpToFile() {
    TDumpOptions options;
    options.FromPage = RxFrom->value();
    options.ToPage = RxTo->value();
    options.IncludeLow = CBLowRam->isChecked();
    options.LowOnly = CBLowOnly->isChecked();
    if (!options.LowOnly && options.ToPage < options.FromPage) {
        ShowMessageAt(this, QStringLiteral("From page must be lest than or equal to To page"));
        return;
    }
    if (!KindCanBeDumped(LinkState.HandboxKind))
        return;

    // The save dialog SD1: "bin" files, asking before overwriting one.
    const QString fileName =
        AskSaveFileName(this, DefaultDumpFileName(LinkState.HandboxKind, options),
                        QStringLiteral("StdBinaryDumpFile ( *.bin )"), QStringLiteral("bin"));
    if (fileName.isEmpty())
        return;
    // A dump of this handbox and range that was cancelled or cut short can
    // go on from where it stopped instead of starting again.
    bool resume = false;
    if (const std::optional<TDumpManifest> unfinished = ResumableDump(fileName, options))
        resume = AskQuestion(this, ResumeQuestion(fileName, *unfinished), QStringLiteral("Yes"),
                             QStringLiteral("No"), 1) == 1;

    const LinkCommandScope command(*this, QString());
    // Whatever way the run ends, errors included, the window is ready for
    // the next one.
    struct RunEnd {
        TFHexvac& w;
        ~RunEnd() {
            w.dumpRunning_ = false;
            w.CancelRequested = false;
            w.SBLoad->setText(QStringLiteral("Run"));
            w.PB1->setValue(0);
            w.Label4->clear();
            w.Label2->setText(QStringLiteral("|"));
            SetBusyCursor(false);
        }
    } runEnd{*this};
    dumpRunning_ = true;
    TDumpResult result;
    {
        // The run talks to this handbox only, from its first question on.
        const TLinkHold hold(ApdCom);
        // A continued dump keeps the mode it was read in.
        const int dataMode = resume ? 0 : ChooseDataMode(ApdCom, this);
        if (ApdCom.Open() && LinkState.ScopeFound && !CancelRequested) {
            SBLoad->setText(QStringLiteral("Cancel"));
            UpdateCommands();
            WindowDumpFace face(*this);
            result = resume ? ResumeDump(ApdCom, fileName, face)
                            : RunDump(ApdCom, options, dataMode, fileName, face);
        } else {
            result.Outcome = CancelRequested ? TDumpOutcome::Cancelled : TDumpOutcome::PortLost;
        }
    }
    // The rate or the mode may have changed: the status line says what is
    // now, once the note of how the run ended is gone.
    RefreshPortStatus(ApdCom);
    statusPanel_.SetText(StatusText(ApdCom, true));
    RefreshLog(ApdCom);
    resultNote_ = DumpResultText(result);
    if (closePending_ || stopPending_)
        return; // the window closes next: nothing more is said
    // "Couldnt go into download mode" has been said already, and a complete
    // run says so in the status line only. A handbox that went away is not
    // searched for again by itself: that would be a second message about
    // the same loss; "AutoDetect" finds it when the user is ready.
    if (result.Outcome != TDumpOutcome::Complete && result.Outcome != TDumpOutcome::NoDownloadMode)
        ShowMessageAt(this, DumpResultText(result));
}
