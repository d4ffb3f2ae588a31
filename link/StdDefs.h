#pragma once
// What the program knows about the far end of the serial line, in one record,
// and the process-wide number and date formats that identification relies on.

#include <QChar>
#include <QDate>
#include <QString>
#include <cstdint>

class TStatusPanel;

// The connected handbox, as kept in LinkState.HandboxKind.
enum HandboxType : std::uint8_t {
    htNone = 0,            // none, or not identified
    htUnknown = 1,         // answered, but not a model we know (or parked)
    htAutostar497 = 2,     // Autostar 495 or 497
    htAutostar497mkII = 3, // Autostar 497 mkII
    htLX200GPS = 4,        // LX200GPS, product name "LX2001"
    htRCX400 = 5,          // RCX400
    htGermanMount = 6,     // 1697 German equatorial mount
    htAutostar497Dnld = 7, // 495/497 in download mode
    htMkIIDnld = 8,        // 497 mkII in download mode
    htLX2001Dnld = 9,      // LX2001 in download mode
};

// The word the status line shows for a HandboxKind code.
QString HandboxStatusWord(std::uint8_t Kind);

// Kinds with the normal-mode command set (firmware date, peek, peek/poke test).
constexpr bool HasNormalCommandSet(std::uint8_t Kind) {
    return Kind >= 2 && Kind <= 5;
}
// Kinds that accept the baud-change command and get the extra menu rates.
constexpr bool AcceptsBaudChange(std::uint8_t Kind) {
    return Kind == 4 || Kind == 5;
}

// BaudClass codes: which rates the handbox firmware accepts.
enum BaudClassCode : std::uint8_t {
    bcNone = 0, // not identified, download mode, mount, parked, old 495/497
    bcUnknownProduct = 1,
    bcAutostar2004 = 2,  // 495/497 (or mkII) with firmware of 29/06/2004 or later
    bcGPSBefore2004 = 3, // LX200GPS with firmware before 01/10/2004
    bcGPS2004 = 4,       // LX200GPS from 01/10/2004 to before 19/09/2005
    bcFast = 5,          // LX200GPS from 19/09/2005, or any RCX400: 115200 allowed
};

// A date-time value: days since 30 December 1899, the fraction the time of day.
using TDateTime = double;

struct TLinkState {
    QString AppDir;                      // program folder with a trailing separator
    TStatusPanel* StatusPanel = nullptr; // the panel that shows the link status
    bool SelectingPort = false;          // a port selection or the port lock window runs
    bool ScopeFound = false;             // a handbox answered on the open port
    std::uint8_t HandboxKind = htNone;
    QString ProductName; // the handbox's answer to ":GVP#"; empty when none was given
    TDateTime FirmwareDate = 0;
    std::uint8_t BaudClass = bcNone;
    std::int32_t CurrentBaud = 9600; // the port's rate at the last status refresh
    std::int32_t MaxBaud = 0;        // highest rate ever enabled for a found handbox
    bool PortOpen = false;           // the last detection opened a free port
    bool PeekOK = false;
    bool PokeOK = false;
    bool ExtPeekOK = false;
    bool ExtPokeOK = false;
    bool InDownloadMode = false;
    bool Parked = false;
    bool NoAutoDetect = true; // the user declined automatic detection

    // No handbox is known any more: the one found, its kind and rate class,
    // and what it was found able to do. Where the handbox was lost, its
    // firmware date goes as well (ForgetFoundHandbox).
    void ForgetHandbox();
    void ForgetFoundHandbox();
};

// The one record of the link, shared by every part of the program.
extern TLinkState LinkState;

// The start-up reset. AppDir, StatusPanel, FirmwareDate and MaxBaud are left
// as they are: they are set once, or outlive a handbox.
void ResetLinkState();

// ---- Process-wide formats -----------------------------------------------------

struct TFormatSettings {
    QChar ThousandSeparator;
    QChar DecimalSeparator;
    QChar DateSeparator;
    QString ShortDateFormat; // "DD/MM/YYYY"-style: D day, M month, Y year
    QString LongTimeFormat;  // Qt time pattern, taken from the system
};

extern TFormatSettings FormatSettings;

inline const QString FixedShortDateFormat = QStringLiteral("DD/MM/YYYY");

// Thousands ",", decimal ".", date separator "/", short date "DD/MM/YYYY".
void SetFixedFormats();

// Takes the formats from the user's regional settings, as the platform does
// when they change while the program runs (the main window calls it then).
void LoadSystemFormats();

// Puts the fixed date format back if the regional settings replaced it.
// Every date parse does this first, so dates stay day/month/year.
void EnsureFixedDateFormat();

// Date conversions under FormatSettings. StrToDate accepts the day, month and
// year in the order of the short date format, separated by the date
// separator, and throws EConvertError for anything that is not a real date.
TDateTime StrToDate(const QString& Text);
QString DateToStr(TDateTime Date);
QString DateTimeToStr(TDateTime DateTime);

TDateTime EncodeDate(int Year, int Month, int Day);
// The calendar day of a date-time value.
QDate ToQDate(TDateTime Value);
