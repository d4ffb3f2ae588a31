#pragma once
// The handbox's replies turned into what they say, with no port involved.
// Every byte here came over the line and may be anything: each function
// takes any input, and says "not understood" by an empty or blank result or
// by EConvertError, never by reading past what it was given.

#include "link/StdDefs.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

// A peek reply (its "#" stripped) as the word's four hex digits: "x" and hex
// digits from the extended form (at most 600 of them kept), a signed 16-bit
// number from the normal one, "-0" for the word 8000 hex. Throws
// EConvertError for anything else.
QString PeekWordOfReply(const QByteArray& Reply);

// The first byte of a peek word. Throws EConvertError when the word does
// not start with two hex digits.
int HighByteOfWord(const QString& Word);

// Whether a reply is plain printable text, as every name and date the
// handbox sends is: a reply mangled on the line mostly is not.
bool IsPlainText(const QByteArray& Reply);

// The kind of handbox a product name (the reply to ":GVP#") names.
std::uint8_t KindOfProduct(const QByteArray& Product);

// The model a handbox in download mode names in its one-byte answer to "T".
struct DownloadModel {
    const char* Name;
    std::uint8_t Kind;
};
std::optional<DownloadModel> DownloadModelOfReply(const QByteArray& Reply);

// The firmware date reply "Mmm dd yyyy" as day/month/year text, or empty
// when the month is not one of the twelve.
QString DayMonthYear(const QString& Text);

// The firmware date reply as a date. Throws EConvertError when it is none.
TDateTime FirmwareDateOfReply(const QString& Text);

// Whether a reply says the telescope is parked.
bool SaysParked(const QByteArray& Reply);

// What a reply to the mode query (ACK) says, in words; a reply that is no
// mode letter is given back as it came. Empty for an empty reply.
QString DescribeModeReply(const QByteArray& Reply);

// The mode letter of a described mode ("Alt/AZ", "Download Mode", "?A"...),
// only when it is one a handbox gives (G A L P D I); blank otherwise. A
// parked telescope counts as "I".
QChar ModeLetterOf(const QString& Mode, bool Parked);

// The letter a described mode starts with, "?" put before it by some
// firmware skipped; "I" when parked, blank when there is none.
QChar AnswerLetterOf(const QString& Mode, bool Parked);

// Whether a letter is a mode letter a handbox gives.
bool IsHandboxLetter(QChar Letter);

// Whether the reply to ":SB<n>#" accepts the new rate.
bool BaudChangeAccepted(const QByteArray& Reply);
