// Port selection: what a "Scope Sources" item does, and the status line.

#include "common/VirtualPorts.h"
#include "link/StdDefs.h"
#include "link/StdFuncsMeade.h"

#include "common/EventWait.h"
#include "common/MenuItem.h"
#include "common/StdFuncsMisc.h"
#include "common/StopSignals.h"
#include "common/Timing.h"
#include "common/UiHost.h"
#include "diag/PortReport.h"
#include "serial/ApdComPort.h"
#include "serial/COMPorts.h"
#include "serial/CommLog.h"
#include "serial/Exchange.h"

#include <QTime>
#include <optional>

namespace {

constexpr int TopItemTag = 0;
constexpr int TempFreeTag = 998;
constexpr int NoneTag = -1;
constexpr int AutoDetectTag = 999;
constexpr int DetailsTag = 500;

std::function<void(TPortLockRequest&)> portLockWindow;

bool IsPortTag(int tag) {
    return IsComNumber(tag);
}

void Log(TApdComPort& Port, const QString& Line) {
    Port.Log.AddStringToLog(Line);
}

void LogAndRefresh(TApdComPort& Port, const QString& Line) {
    Log(Port, Line);
    RefreshLog(Port);
    ProcessPendingMessages();
}

// Forgets the handbox and its mode at the start of a selection or on
// closing the port.
void ForgetHandboxAndMode() {
    LinkState.ForgetFoundHandbox();
    LinkState.InDownloadMode = false;
    LinkState.Parked = false;
}

// The processing window of a search, closed on every way out.
class ComSelectWindow {
public:
    explicit ComSelectWindow(TApdComPort& Port)
        : box_(CurrentUiHost().CreateProcessingBox(Port.parent())) {
        box_->SetCaption(QStringLiteral("Com Select"));
        box_->SetProgress(0, 50, 0);
        box_->Show();
        ProcessPendingMessages();
    }
    ~ComSelectWindow() {
        box_->EnableCancel();
        box_->Close();
    }
    TProcessingBox* operator->() { return box_.get(); }
    TProcessingBox* get() { return box_.get(); }

private:
    std::unique_ptr<TProcessingBox> box_;
};

// Probes the open port at every rate; true when a handbox answered.
bool ProbePort(TApdComPort& Port, TProcessingBox* Box) {
    CreateExchangeTimers(Port);
    QChar mode = QLatin1Char(' ');
    const int rate = BaudTest(Port, Box, mode, true);
    RemoveExchangeTimers(Port);
    if (rate == -1)
        return false;
    LinkState.ScopeFound = true;
    LinkState.InDownloadMode = mode == QLatin1Char('D');
    LinkState.Parked = mode == QLatin1Char('I');
    return true;
}

// "Get COM ports Details": every port's properties side by side, in a report
// window over the main window. The link is left as it was.
void ShowPortReport(TApdComPort& Port) {
    TReportTable table;
    ShowPortDetails(table);
    CurrentUiHost().ShowReportWindow(Port.parent(), QStringLiteral("\"COM\" Port properties"),
                                     table);
}

QString TempFree(TApdComPort& Port) {
    TPortLockRequest request;
    request.Port = &Port;
    request.ResultCode = QStringLiteral("LOCK");
    const int number = Port.ComNumber();
    if (number < 1 || number > 256)
        return request.ResultCode;
    request.WasInDownloadMode = LinkState.InDownloadMode;
    request.WasParked = LinkState.Parked;
    if (LinkState.ScopeFound && !LinkState.InDownloadMode && !LinkState.Parked) {
        Log(Port, QStringLiteral("Save Connected Scope Type"));
        QByteArray product;
        SendCommandTerminated(Port, ProductNameQuery, "#", product, Timing::IdentityReplyMs);
        request.SavedType = QString::fromLatin1(product) + GetFirmwareDateText(Port);
    }
    RemoveExchangeTimers(Port);
    LogAndRefresh(Port, QStringLiteral("Temp Port Disconnect ") + LogTimeStamp());
    Port.SetOpen(false);
    LinkState.SelectingPort = true;
    if (portLockWindow)
        portLockWindow(request);
    else
        request.ResultCode = QStringLiteral("LOCKCancel"); // nothing to hand it back: start afresh
    RegisteredMenus().CountInUseAsAvailable = true;
    return request.ResultCode;
}

// Searches every free port for a handbox (or, without detection, opens the
// first free one). False when there is no free port at all.
bool AutoDetect(TApdComPort& Port, TMenuItem* Searched, TProcessingBox* Box, bool Detect,
                QString& Result, bool& Defaulted) {
    const int noted = Port.ComNumber();
    Box->SetLabel1(QStringLiteral("Build Port List"));
    ProcessPendingMessages();
    QString portsText;
    BuildPorts(Port, portsText);
    RefreshLog(Port);
    LinkState.PortOpen = false;

    bool reportNoScope = true;
    int firstFreeTag = 0;
    QString firstFreeCaption;
    for (int i = 0; Searched && i < Searched->Count(); ++i) {
        TMenuItem* item = Searched->Item(i);
        if (!item->Enabled() || !IsPortTag(item->Tag()))
            continue;
        BuildBaudMenu(Port, item->Tag());
        try {
            if (noted == 0)
                ClearLog(Port);
            firstFreeTag = item->Tag();
            firstFreeCaption = item->Caption();
            LinkState.PortOpen = true;
            Log(Port, portsText);
            Log(Port, QStringLiteral("At least 1 valid Free com Port found"));
            if (Detect) {
                Log(Port, QStringLiteral("---AutoDetect Starting--- ") + LogTimeStamp());
            } else {
                Log(Port, QStringLiteral("---No AutoDetect--- ") + LogTimeStamp());
                reportNoScope = false;
            }
            Box->SetLabel2(QStringLiteral("Found Ports"));
            break;
        } catch (const std::exception&) {
            // The log or the port failed on this one: say so and try the next.
            ShowPlainMessage(QStringLiteral("Com selection died"));
        }
    }
    if (!LinkState.PortOpen) {
        LinkState.ScopeFound = LinkState.InDownloadMode = LinkState.Parked = false;
        ShowMessageAt(Port.parent(), QStringLiteral("No Free Com ports found on this machine\r"
                                                    "No logging will be carried out"));
        return false;
    }

    if (Detect) {
        Box->SetLabel2(QStringLiteral("Check for free ports"));
        for (int i = 0; Searched && i < Searched->Count(); ++i) {
            TMenuItem* item = Searched->Item(i);
            if (!item->Enabled() || !IsPortTag(item->Tag()))
                continue;
            if (StopSignalled())
                break;
            Result = item->Caption();
            LogAndRefresh(Port, QStringLiteral("Try-:") + Result);
            BuildBaudMenu(Port, item->Tag());
            ProcessPendingMessages();
            if (ProbePort(Port, Box))
                break;
        }
    }
    if (!LinkState.ScopeFound) {
        Defaulted = true;
        LinkState.HandboxKind = htNone;
        LinkState.FirmwareDate = 0;
        LinkState.BaudClass = bcNone;
        Result = firstFreeCaption;
        if (reportNoScope)
            Log(Port, QStringLiteral("No Scope found"));
        LogAndRefresh(Port, QStringLiteral("Port Default to-:") + firstFreeCaption);
        BuildBaudMenu(Port, firstFreeTag);
        ProcessPendingMessages();
    }
    return true;
}

// The handbox found is identified, and tested unless it cannot be.
void CommonEnd(TApdComPort& Port, const QString& Result, bool Defaulted) {
    if (Port.Open())
        CreateExchangeTimers(Port);
    if (LinkState.ScopeFound) {
        Log(Port, Result + QStringLiteral(" selected. Scope found"));
        const QString name = IdentifyHandbox(Port);
        if (StopSignalled()) {
            // The program is being stopped: it warns of nothing and tests
            // nothing more, so the handbox hears no further command.
            Log(Port, QStringLiteral("Stopped: nothing more is asked of the handbox"));
        } else if (LinkState.InDownloadMode) {
            ShowMessageAt(Port.parent(), QStringLiteral("Warning, ") + name +
                                             QStringLiteral(" found but it is in download mode"));
            Log(Port, QStringLiteral("Warning - ") + name +
                          QStringLiteral(" found but already in download mode"));
        } else if (LinkState.Parked) {
            ShowMessageAt(Port.parent(),
                          QStringLiteral("Warning, Parked Scope detected, model unknown"));
            Log(Port, QStringLiteral("Warning - Parked Scope detected, model unknown"));
        } else {
            TestPeekPoke(Port);
        }
    } else if (Port.Open() && !Defaulted) {
        Log(Port, Result + QStringLiteral(" selected. No scope found on this port"));
    }
    RefreshPortStatus(Port);
}

// One run of the selection for Item.
void Selection(TMenuItem* Item, TApdComPort& Port, bool Detect, QString& Result) {
    int tag = Item->Tag();
    if (tag == TopItemTag)
        tag = AutoDetectTag;
    Result = Item->Tag() == TopItemTag ? QStringLiteral("AutoDetect") : Item->Caption();
    TMenuItem* searched = RegisteredMenus().SourceMenu ? RegisteredMenus().SourceMenu : Item;

    if (tag == DetailsTag) {
        ShowPortReport(Port);
        return;
    }
    if (tag == TempFreeTag) {
        Result = TempFree(Port);
        return;
    }

    ForgetHandboxAndMode();
    bool defaulted = false;
    ComSelectWindow box(Port);
    if (tag == NoneTag) {
        LogAndRefresh(Port, QStringLiteral("Manual Closing of Port ") + LogTimeStamp());
        Port.SetOpen(false);
        Port.AwaitingReply = false;
        Port.ReplyBuffer.clear();
        LinkState.SelectingPort = false;
        ProcessPendingMessages();
        ForgetHandboxAndMode();
    } else if (tag == AutoDetectTag) {
        if (!AutoDetect(Port, searched, box.get(), Detect, Result, defaulted))
            return;
    } else {
        const int noted = Port.ComNumber();
        RefreshPorts(Port);
        LogAndRefresh(Port, QStringLiteral("Manual Port Change Starting ") + LogTimeStamp());
        BuildBaudMenu(Port, tag);
        if (noted == 0)
            ClearLog(Port);
        ProcessPendingMessages();
        // A port chosen by hand is always probed.
        ProbePort(Port, box.get());
        ProcessPendingMessages();
    }
    CommonEnd(Port, Result, defaulted);
}

} // namespace

QString LogTimeStamp() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

void RegisterPortLockWindow(std::function<void(TPortLockRequest&)> Show) {
    portLockWindow = std::move(Show);
}

bool SelectPort(TMenuItem* Item, TApdComPort& Port, QString& Result) {
    Result.clear();
    LinkState.SelectingPort = true;
    const bool detect = !LinkState.NoAutoDetect;
    // Keep the item alive: a rebuilt menu drops it.
    const std::shared_ptr<TMenuItem> keep = Item->weak_from_this().lock();
    std::optional<QString> failure;
    {
        const BusyCursorScope busy;
        try {
            Selection(Item, Port, detect, Result);
        } catch (...) {
            // Whatever went wrong (a port error, a conversion, a failure of
            // Qt's), the selection runs once more from the start.
            Result.clear();
            try {
                Selection(Item, Port, detect, Result);
                if (LinkState.PortOpen && Result == QLatin1String("AutoDetect"))
                    ShowMessageAt(Port.parent(), QStringLiteral("Error grabbing Port"));
            } catch (...) {
                // Twice in a row: give up and say what went wrong.
                failure = ErrorText(std::current_exception());
            }
        }
    }
    if (failure) {
        // The window stays able to close, with the cursor it had.
        LinkState.SelectingPort = false;
        ShowPlainMessage(QStringLiteral("Port selection failed: ") + *failure);
        return true;
    }
    if (Result.startsWith(QLatin1String("LOCK"))) {
        LinkState.SelectingPort = false;
        if (Result != QLatin1String("LOCK")) {
            TMenuItem* autoDetect = AutoDetectItem();
            const TPortMenus& menus = RegisteredMenus();
            if (autoDetect && menus.SourceHandler)
                menus.SourceHandler(autoDetect);
        }
        return false;
    }
    return true;
}

QString StatusText(TApdComPort& Port, bool Probed) {
    const QString port = QStringLiteral("COM%1").arg(Port.ComNumber());
    const QString rate = QString::number(Port.Baud());
    if (!LinkState.PortOpen)
        return QStringLiteral("No valid COM ports found");
    if (!Port.Open())
        return QStringLiteral("No COM port selected");
    if (LinkState.ScopeFound)
        return HandboxStatusWord(LinkState.HandboxKind) + QStringLiteral(" on ") + port +
               QStringLiteral(" at ") + rate + QStringLiteral(" baud");
    if (Probed)
        return port + QStringLiteral(" at ") + rate + QStringLiteral(" baud. No scope detected");
    return port + QStringLiteral(" at ") + rate + QStringLiteral(" baud. No checks done yet");
}
