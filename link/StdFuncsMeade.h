#pragma once
// Conversations with the handbox.

#include "link/StdDefs.h"

#include <QChar>
#include <QString>
#include <functional>

class TMenuItem;

class TApdComPort;

// Asks the handbox its mode with the ACK byte (06 hex), and when that gets no
// useful answer, probes quietly with "#:ED#" and "#:EC#" for a parked
// telescope. Keeps LinkState.Parked and InDownloadMode in step. The first
// character of the result is what callers test: "A"lt/AZ, "L"and,
// "P"olar, "G"EM, "D"ownload mode, "I"s parked, or " " for no answer.
QString QueryMode(TApdComPort& Port);

class TProcessingBox;

// ---- Identification ---------------------------------------------------------------

// Identifies the handbox on the open port: sets HandboxKind, BaudClass and
// FirmwareDate and returns a model name (" " when no handbox was found).
QString IdentifyHandbox(TApdComPort& Port);
// The handbox's product name query; its reply ("Autostar#") names the kind.
inline constexpr char ProductNameQuery[] = ":GVP#";

// The raw reply to ":GVD#" for the kinds that answer it, else empty.
QString GetFirmwareDateText(TApdComPort& Port);
// The firmware date, or 0 when there is none or it does not convert.
TDateTime GetFirmwareDate(TApdComPort& Port);

// Makes the command exchange identify the handbox again after a time-out.
void InstallLinkHooks();

// ---- Peek and poke ------------------------------------------------------------------

// The 16-bit word at Address as hex text (usually four digits), or empty when
// peek is not available. Throws EConvertError for a normal-form reply that
// is not a number.
QString PeekWord(TApdComPort& Port, quint64 Address);
// The byte at the hex address Text (0 when peek is not available).
int PeekByte(TApdComPort& Port, const QString& Text);
// Writes one byte: Text is the hex value address x 256 + byte, "$" allowed.
bool PokeText(TApdComPort& Port, const QString& Text);
bool PokeValue(TApdComPort& Port, qint32 Value);
// Finds out which peek and poke forms the handbox answers; sets PeekOK,
// PokeOK, ExtPeekOK and ExtPokeOK and logs what works.
void TestPeekPoke(TApdComPort& Port);

// ---- Baud rate ----------------------------------------------------------------------

// Looks for a handbox on the open port at its current rate, then at every
// rate of TestBauds. Returns the rate it answered at, or -1 (the port back at
// its rate). ModeChar receives the answer letter. Quiet: silent time-outs and
// one-second notices instead of modal messages. ProgressWindow may be null.
int BaudTest(TApdComPort& Port, TProcessingBox* ProgressWindow, QChar& ModeChar, bool Quiet);
// Switches the handbox (kinds 4 and 5) and the port to Rate; with no handbox
// found, just the port. True when the port was switched.
bool SetScopeBaud(TApdComPort& Port, qint32 Rate);
// Before a dump: offers to raise a slow rate to the fastest one seen.
void SlowBaudPrompt(TApdComPort& Port);

// ---- Port selection -------------------------------------------------------------------

// What a "Scope Sources" item does: automatic detection (tags 0 and 999), a
// manual change to a port (1..255), closing the port (-1), lending the port
// to another program (998) or the port report (500). Result receives the
// caption of the port selected, "AutoDetect", or a "LOCK" code of the port
// lock window. False exactly when the result begins with "LOCK".
bool SelectPort(TMenuItem* Item, TApdComPort& Port, QString& Result);

// The one-line link status: "LX200GPS on COM202 at 19200 baud" and the like.
QString StatusText(TApdComPort& Port, bool Probed);

// May the main window close? Asks when the handbox is still in download mode
// or at a rate other than 9600, and offers to set it back.
bool CloseCheck(TApdComPort& Port);
// The rate a handbox starts at, and where the program leaves it.
inline constexpr qint32 DefaultScopeBaud = 9600;
// The program is being stopped and cannot ask: a handbox left at another
// rate than Rate (by default 9600, as the close check's first answer does)
// is put back there.
void ResetRateWithoutAsking(TApdComPort& Port, qint32 Rate = DefaultScopeBaud);

// Shows the port lock window for a released port; fills in its result code.
// Registered by the windows library; tests may register their own.
struct TPortLockRequest {
    TApdComPort* Port = nullptr;
    QString ResultCode; // in: "LOCK"; out: the window's code
    QString SavedType;
    bool WasInDownloadMode = false;
    bool WasParked = false;
};
void RegisterPortLockWindow(std::function<void(TPortLockRequest&)> Show);

// The time of day as port selection's log lines show it: "HH:mm:ss".
QString LogTimeStamp();
