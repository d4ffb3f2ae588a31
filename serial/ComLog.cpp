#include "serial/ComLog.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <array>
#include <iterator>

// The log file's line layout. This is the only place that writes it; the log
// view's filter reads the same columns through TLogLayout.
//
// Every append (and dump) writes a header of TLogLayout::HeaderLines lines,
// then one line per entry, each ended by "\n".
//
// Entry lines, columns counted from 1:
//
// | Columns | Content                                                          |
// |---------|------------------------------------------------------------------|
// | 1-9     | seconds since logging started, "%9.3f", right-aligned; wraps at  |
// |         | 100000 s so the width never changes                              |
// | 10      | a blank                                                          |
// | 11-20   | entry type, left-aligned, blank-padded                           |
// | 21-30   | subtype, left-aligned, blank-padded                              |
// | 31-     | data: bytes 21-7E as themselves, except "["; the blank, "[",     |
// |         | control bytes and bytes 7F-FF as "[hh]" (upper-case hex), so     |
// |         | "[20]" is a blank and "[06]" the ACK                              |
//
// | Entry          | Type     | Subtype | Data                                 |
// |----------------|----------|---------|--------------------------------------|
// | Write          | Dispatch | Write   | the bytes written                    |
// | Read           | Dispatch | Read    | the bytes read                       |
// | TriggerAvail   | Trigger  | Avail   | the count of bytes available         |
// | TriggerData    | Trigger  | Data    | the handle of the text trigger       |
// | TriggerTimer   | Trigger  | Timer   | the handle of the timer trigger      |
// | TriggerAlloc   | TrigAllc | Alloc   | handle and kind of the new trigger   |
// | TriggerDispose | TrigDisp | Dispose | the handle removed                   |
// | TriggerChange  | TrDatChg | Change  | handle, ticks and whether active     |
// | HandlerAlloc   | TrgHdAlc | Alloc   | the handler bound                    |
// | UserString     | User     | Str     | the line the program added           |
//
// Header lines each begin with "-", "A", "C", "D", "O" or "T", entry lines
// with a blank or a digit of the time column, so a reader tells them apart by
// the first character alone:
//
//   Appended serial log                          ("Dumped serial log" for tlDump)
//   Comport: COM201
//   Date: 09/05/2026
//   Time: 09:05:07
//   Times are seconds since logging started
//   Time (s)  Type      SubType   Data
//   ---------------------------------------------------------------------------

namespace {

struct TEntryColumns {
    TLogEntry kind;
    const char* type;
    const char* subtype;
};

constexpr TEntryColumns EntryColumns[] = {
    {TLogEntry::Write, "Dispatch", "Write"},
    {TLogEntry::Read, "Dispatch", "Read"},
    {TLogEntry::TriggerAvail, "Trigger", "Avail"},
    {TLogEntry::TriggerData, "Trigger", "Data"},
    {TLogEntry::TriggerTimer, "Trigger", "Timer"},
    {TLogEntry::TriggerAlloc, "TrigAllc", "Alloc"},
    {TLogEntry::TriggerDispose, "TrigDisp", "Dispose"},
    {TLogEntry::TriggerChange, "TrDatChg", "Change"},
    {TLogEntry::HandlerAlloc, "TrgHdAlc", "Alloc"},
    {TLogEntry::UserString, "User", "Str"},
};

constexpr int TimeWidth = TLogLayout::TypeColumn - 2;
static_assert(TimeWidth == 9, "the time column is formatted as %9.3f");
static_assert(TLogLayout::SubtypeColumn == TLogLayout::TypeColumn + TLogLayout::FieldWidth);
static_assert(TLogLayout::DataColumn == TLogLayout::SubtypeColumn + TLogLayout::FieldWidth);

// Milliseconds past which the time column starts again at 0 (100000 s).
constexpr qint64 TimeWrapMs = 100000000;

QByteArray ColumnsOf(TLogEntry Kind) {
    const auto* found = std::find_if(std::begin(EntryColumns), std::end(EntryColumns),
                                     [Kind](const TEntryColumns& c) { return c.kind == Kind; });
    const TEntryColumns& entry = found != std::end(EntryColumns) ? *found : EntryColumns[0];
    return QByteArray(entry.type).leftJustified(TLogLayout::FieldWidth, ' ', true) +
           QByteArray(entry.subtype).leftJustified(TLogLayout::FieldWidth, ' ', true);
}

// Writes the TimeWidth characters of "%9.3f" of the seconds, wrapped:
// whole milliseconds have exactly three decimals.
void WriteTime(qint64 Ms, char* Out) {
    qint64 ms = Ms % TimeWrapMs;
    char* digit = Out + TimeWidth - 1;
    for (int place = 0; place < TimeWidth; ++place, --digit) {
        if (place == 3) {
            *digit = '.';
        } else if (place < 5 || ms > 0) {
            *digit = char('0' + ms % 10);
            ms /= 10;
        } else {
            *digit = ' ';
        }
    }
}

// A data byte that stands for itself in the data column; others are "[hh]".
bool IsPlain(unsigned char Byte) {
    return Byte > 0x20 && Byte < 0x7F && Byte != '[';
}

// Every entry of every exchange is formatted here, so the line is built in
// one allocation, without printf.
QByteArray FormatLogLine(qint64 Ms, TLogEntry Kind, const QByteArray& Data) {
    static const auto Columns = [] {
        std::array<QByteArray, std::size_t(TLogEntry::UserString) + 1> columns;
        for (std::size_t kind = 0; kind < columns.size(); ++kind)
            columns[kind] = ColumnsOf(TLogEntry(kind));
        return columns;
    }();
    static const char Digits[] = "0123456789ABCDEF";
    const auto kind = static_cast<std::size_t>(Kind);
    const QByteArray& columns = kind < Columns.size() ? Columns[kind] : Columns[0];

    qsizetype escaped = 0;
    for (const char ch : Data)
        escaped += IsPlain(static_cast<unsigned char>(ch)) ? 1 : 4;
    QByteArray line(TimeWidth + 1 + columns.size() + escaped, Qt::Uninitialized);
    char* out = line.data();

    WriteTime(Ms, out);
    out += TimeWidth;
    *out++ = ' ';
    out = std::copy(columns.cbegin(), columns.cend(), out);
    for (const char ch : Data) {
        const auto byte = static_cast<unsigned char>(ch);
        if (IsPlain(byte)) {
            *out++ = ch;
        } else {
            *out++ = '[';
            *out++ = Digits[byte >> 4];
            *out++ = Digits[byte & 0x0F];
            *out++ = ']';
        }
    }
    return line;
}

// Cuts Line to at most Size bytes without splitting a "[hh]" group. Every "["
// in the data column opens a group, since a data "[" is itself escaped.
QByteArray CutToFit(const QByteArray& Line, qsizetype Size) {
    qsizetype cut = Size;
    const qsizetype open = Line.lastIndexOf('[', cut - 1);
    if (open >= TLogLayout::DataColumn - 1 && open + 4 > cut)
        cut = open;
    return Line.left(cut);
}

// Keeps each header line to one line whatever the port name holds.
QByteArray OneLine(const QString& Text) {
    QByteArray bytes = Text.toLatin1();
    std::replace_if(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
        '?');
    return bytes;
}

QList<QByteArray> LogFileHeader(bool Append, const QString& PortName, const QDateTime& When) {
    const QByteArray columns = QByteArray("Time (s)").leftJustified(TLogLayout::TypeColumn - 1) +
                               QByteArray("Type").leftJustified(TLogLayout::FieldWidth) +
                               QByteArray("SubType").leftJustified(TLogLayout::FieldWidth) +
                               QByteArray("Data");
    return {
        Append ? QByteArray("Appended serial log") : QByteArray("Dumped serial log"),
        "Comport: " + (PortName.isEmpty() ? QByteArray("none") : OneLine(PortName)),
        "Date: " + When.date().toString(QStringLiteral("dd/MM/yyyy")).toLatin1(),
        "Time: " + When.time().toString(QStringLiteral("HH:mm:ss")).toLatin1(),
        "Times are seconds since logging started",
        columns,
        QByteArray(75, '-'),
    };
}

} // namespace

QString TLogLayout::Columns(TLogEntry Kind) {
    return QString::fromLatin1(ColumnsOf(Kind));
}

QString TLogLayout::Time(qint64 Ms) {
    char time[TimeWidth];
    WriteTime(Ms, time);
    return QString::fromLatin1(time, TimeWidth);
}

void TComLog::SetLogging(TTraceLogState State) {
    switch (State) {
    case tlOff:
        Discard();
        clock_.invalidate();
        state_ = tlOff;
        break;
    case tlOn:
        if (state_ == tlOff) {
            Discard();
            // After an append the clock keeps running, so the times of later
            // appends continue those already in the file.
            if (!clock_.isValid())
                clock_.start();
        }
        state_ = tlOn;
        break;
    case tlPause:
        if (state_ != tlOff)
            state_ = tlPause;
        break;
    case tlClear:
        if (state_ != tlOff)
            Discard();
        break;
    case tlAppend:
    case tlDump:
        WriteFile(State == tlAppend);
        Discard();
        state_ = tlOff;
        break;
    }
}

int TComLog::FreeSpace() const {
    if (state_ == tlOff)
        return 0;
    return int(std::max<qint64>(0, qint64(LogSize) - used_));
}

void TComLog::AddEntry(TLogEntry Kind, const QByteArray& Data) {
    if (state_ != tlOn)
        return;
    const qint64 capacity = LogSize;
    QByteArray line = FormatLogLine(clock_.isValid() ? clock_.elapsed() : 0, Kind, Data);
    if (line.size() + 1 > capacity) {
        // An entry larger than the whole buffer keeps its start; one that
        // cannot even hold its fixed columns is not recorded.
        line = capacity < TLogLayout::DataColumn ? QByteArray() : CutToFit(line, capacity - 1);
    }
    // Also trims a buffer left over a LogSize that has since been lowered.
    const qint64 needed = line.isEmpty() ? 0 : line.size() + 1;
    while (!lines_.empty() && used_ + needed > capacity) {
        used_ -= lines_.front().size() + 1;
        lines_.pop_front();
    }
    if (line.isEmpty())
        return;
    used_ += needed;
    lines_.push_back(std::move(line));
}

QStringList TComLog::BufferedLines() const {
    QStringList lines;
    lines.reserve(qsizetype(lines_.size()));
    for (const QByteArray& line : lines_)
        lines.append(QString::fromLatin1(line));
    return lines;
}

void TComLog::WriteFile(bool Append) const {
    // An empty buffer writes nothing, not even a header: a refresh with no
    // traffic since the last one leaves the file's size as it was.
    if (lines_.empty())
        return;
    QFile file(LogName);
    if (LogName.isEmpty())
        throw ELogError("the log has no file name");
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | (Append ? QIODevice::Append : QIODevice::Truncate);
    if (!file.open(mode))
        throw ELogError(("cannot open " + LogName + ": " + file.errorString()).toStdString());
    QByteArray text;
    text.reserve(used_ + 512);
    for (const QByteArray& line : LogFileHeader(Append, PortName, QDateTime::currentDateTime()))
        text += line + '\n';
    for (const QByteArray& line : lines_)
        text += line + '\n';
    if (file.write(text) != text.size() || !file.flush())
        throw ELogError(("cannot write " + LogName + ": " + file.errorString()).toStdString());
}

void TComLog::Discard() {
    lines_.clear();
    used_ = 0;
}
