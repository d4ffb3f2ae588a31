#pragma once
// Small conversions and dialog helpers shared by every part of Hexvac.
//
// The codecs turn page numbers into file-name hex, readable "[80]" templates
// into binary download-mode commands, and peek replies into bytes. The dialog
// helpers are the only way the rest of the program talks to the user: they
// hand each message to the registered UI host (UiHost.h), so the window, the
// command-line tool and the tests each answer them their own way.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <stdexcept>

// The one conversion error: raised by every parse of hexadecimal or date text
// that does not convert. Callers catch it by this type; no partial result is
// ever returned alongside it.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Hex and byte-string codecs -------------------------------------------

// Upper-case hex of Value. Width > 0: exactly Width digits (zero-filled on the
// left, high digits cut). Width 0: the fewest digits, padded to an even count.
// Negative values are their 64-bit two's complement.
QString FormatHex(int Width, qint64 Value);

// FormatHex(Width, Value & 0xFF).
QString ByteToHex(qint64 Value, int Width);

// Replaces every "[hh]" group by the byte it names; anything else is copied.
// Throws EConvertError for a group whose two characters are not hex digits.
QByteArray DecodeHexEscapes(const QByteArray& Text);

// One byte per pair of hex digits; a last unpaired digit is ignored. With
// StopAtZero, a pair "00" ends the conversion. Throws EConvertError.
QByteArray HexToBytes(const QString& Text, bool StopAtZero);

// Eight "0"/"1" characters, most significant bit first.
QString ByteToBits(quint8 Value);

// 8 x ByteCount "0"/"1" characters, most significant byte first.
QString IntToBits(qint64 Value, int ByteCount);

// ---- Files ------------------------------------------------------------------

// Size in bytes of the named file (a folder counts as 0), or -1 if there is
// no such file. Sizes past 2 GiB are returned whole, never wrapped negative.
qint64 FileSizeOf(const QString& FileName);

// The folder, with a trailing separator, for the files a running instance
// keeps (its trace and log): the program's own folder when it may be
// written there and the program is not the installed one, else the user's
// state folder ($XDG_STATE_HOME/hexvac, by default ~/.local/state/hexvac;
// on Windows the local application data folder's hexvac), made when
// missing. An installed program never writes beside itself.
QString InstanceFilesFolder(const QString& ProgramFolder);
// The same with the folder the program is installed to given.
QString InstanceFilesFolderFor(const QString& ProgramFolder, const QString& InstalledFolder);
// The user's state folder for Hexvac, not made.
QString UserStateFolder();

// ---- Messages and questions ---------------------------------------------------
// Control is the window or control the message concerns; the box is centred
// on it. It may be null (centred on the screen).

// Modal message with an "OK" button; returns when it is dismissed.
void ShowMessageAt(QObject* Control, const QString& Text);

// A message without buttons, shown for one second. Events keep flowing.
void FlashMessageAt(QObject* Control, const QString& Text);

// Two-button question. 1 = first button, 2 = second, -1 = closed otherwise.
// DefaultButton 1 focuses the first button, anything else the second.
int AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                const QString& Caption2, int DefaultButton);

// Asks for the file to save into, offering DefaultName; empty when cancelled.
QString AskSaveFileName(QObject* Control, const QString& DefaultName, const QString& Filter,
                        const QString& DefaultSuffix);

// The plain platform message box (caption: the application title, one "OK").
void ShowPlainMessage(const QString& Text);

// The hourglass cursor of a long operation, and back to the default one.
void SetBusyCursor(bool Busy);
// Whether the hourglass is shown now (so a nested operation can put back
// the cursor it found).
bool BusyCursorShown();

// Shows the hourglass for the life of a long operation (an exchange, a
// dump, a port selection) and puts back the cursor it found, on every way
// out, errors included.
class BusyCursorScope {
public:
    BusyCursorScope()
        : previous_(BusyCursorShown()) {
        SetBusyCursor(true);
    }
    ~BusyCursorScope() { SetBusyCursor(previous_); }
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;

private:
    bool previous_;
};

// ---- Handler boundaries ----------------------------------------------------------

// What an error caught at a boundary says: the text of a standard exception,
// "unknown error" for anything else.
QString ErrorText(const std::exception_ptr& Error);

// Runs Handler, an event handler of a window, so that no error escapes it
// into the event loop: Qt cannot carry one through, and the program would
// end. An error is shown in the application's standard error box (the
// plain message box) and the program goes on. False when Handler failed.
bool RunHandler(const std::function<void()>& Handler);
