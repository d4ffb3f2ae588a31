// Fuzzes the parsers of the handbox's replies (link/Replies). The input is
// one reply as it came off the line, and as the text it becomes.
//
// Each check is what the callers rely on: a parser throws EConvertError or
// returns a value of the form it promises, and nothing it returns was made
// up from bytes it was not given.

#include "common/StdFuncsMisc.h"
#include "link/Replies.h"
#include "link/StdDefs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Require(bool Holds, const char* What) {
    if (!Holds) {
        std::fprintf(stderr, "fuzz_replies: property violated: %s\n", What);
        std::abort();
    }
}

bool IsHexText(const QString& Text) {
    if (Text.isEmpty())
        return false;
    for (QChar c : Text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    return true;
}

void CheckPeek(const QByteArray& Reply) {
    QString word;
    try {
        word = PeekWordOfReply(Reply);
    } catch (const EConvertError&) {
        return;
    }
    Require(IsHexText(word), "a peek word is hex digits");
    if (Reply.startsWith('x'))
        Require(word.size() <= 600 && Reply.mid(1).startsWith(word.toLatin1()),
                "an extended word is the reply's own digits");
    else
        Require(word.size() == 4, "a normal-form word has four digits");
    try {
        const int byte = HighByteOfWord(word);
        Require(byte >= 0 && byte <= 255, "the high byte is a byte");
        Require(word.size() >= 2, "a high byte comes from two digits");
    } catch (const EConvertError&) {
        Require(word.size() < 2, "a word of hex digits has a high byte");
    }
}

void CheckDate(const QString& Text) {
    TDateTime date = 0;
    try {
        date = FirmwareDateOfReply(Text);
    } catch (const EConvertError&) {
        return;
    }
    Require(!DayMonthYear(Text).isEmpty(), "a date needs a month name");
    // Years 1 to 9999, in days from 30/12/1899.
    Require(date >= -693594 && date <= 2958465, "a four-digit year at most");
}

void CheckMode(const QByteArray& Reply, bool Parked) {
    const QString mode = DescribeModeReply(Reply);
    Require(mode.isEmpty() == Reply.isEmpty(), "only an empty reply describes as nothing");
    for (const QString& text : {mode, QString::fromLatin1(Reply)}) {
        const QChar letter = ModeLetterOf(text, Parked);
        Require(letter == QLatin1Char(' ') || IsHandboxLetter(letter),
                "a mode letter is a handbox's or blank");
        // The two readings of a mode agree on whether a handbox answered.
        Require(IsHandboxLetter(AnswerLetterOf(text, Parked)) == IsHandboxLetter(letter),
                "the baud test and the dump read the same letter");
    }
    if (SaysParked(Reply))
        Require(Reply.size() >= 4, "parked is said in words");
}

void CheckIdentity(const QByteArray& Reply) {
    const std::uint8_t kind = KindOfProduct(Reply);
    Require(kind == htUnknown || kind == htAutostar497 || kind == htLX200GPS || kind == htRCX400,
            "a product names a normal-mode kind or none");
    if (const auto model = DownloadModelOfReply(Reply))
        Require(model->Name != nullptr &&
                    (model->Kind == htUnknown || model->Kind == htAutostar497Dnld ||
                     model->Kind == htLX2001Dnld || model->Kind == htMkIIDnld),
                "a download-mode answer names a download-mode kind");
    if (IsPlainText(Reply))
        for (char c : Reply)
            Require(c >= 0x20 && c <= 0x7E, "plain text is printable");
    if (BaudChangeAccepted(Reply))
        Require(Reply == "1", "only \"1\" accepts a rate");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetFixedFormats();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size > 4096)
        return 0;
    const QByteArray reply(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    CheckPeek(reply);
    CheckDate(QString::fromLatin1(reply));
    CheckMode(reply, false);
    CheckMode(reply, true);
    CheckIdentity(reply);
    return 0;
}
