#pragma once
// The serial port's in-memory traffic log.
//
// The port writes an entry for every write, every read and every trigger it
// fires or allocates; the program adds its own lines (AddStringToLog). The
// entries live in a buffer of LogSize bytes; Logging moves them to the file
// LogName (tlAppend) and empties or restarts the buffer. The file's line
// layout, which the log view's filter reads by column, is defined in one
// place: see FormatLogLine and LogFileHeader in ComLog.cpp.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <deque>
#include <stdexcept>

// The states the log is switched between.
enum TTraceLogState {
    tlOff,    // logging stops and the buffer is discarded
    tlOn,     // logging into a new empty buffer (or resumes a paused log)
    tlDump,   // the buffer is written to LogName (replacing it); logging stops
    tlAppend, // the buffer is appended to LogName; logging stops
    tlClear,  // the buffer is emptied; logging keeps its state (no effect when off)
    tlPause,  // entries are not recorded until tlOn
};

// What kind of entry a line records; each has its fixed type and subtype
// columns in the file.
enum class TLogEntry {
    Write,          // bytes written to the line
    Read,           // bytes read by the program
    TriggerAvail,   // a bytes-available event (data: the count)
    TriggerData,    // a text-trigger event (data: the handle)
    TriggerTimer,   // a timer-trigger event (data: the handle)
    TriggerAlloc,   // a trigger was added (data: handle and kind)
    TriggerDispose, // a trigger was removed (data: the handle)
    TriggerChange,  // a timer trigger was set (data: handle, ticks, active)
    HandlerAlloc,   // an event handler was bound
    UserString,     // a line the program added
};

// Where a log file line keeps what (columns counted from 1); the full table is
// in ComLog.cpp. The log view's filter reads lines by these columns.
struct TLogLayout {
    static constexpr int HeaderLines = 7;    // before the entries of every append
    static constexpr int TypeColumn = 11;    // entry type, FieldWidth wide
    static constexpr int SubtypeColumn = 21; // subtype, FieldWidth wide
    static constexpr int DataColumn = 31;
    static constexpr int FieldWidth = 10;
    // The type and subtype columns of Kind, each padded to FieldWidth.
    static QString Columns(TLogEntry Kind);
    // The time column of an entry Ms milliseconds after logging started.
    static QString Time(qint64 Ms);
};

// The log file could not be written or removed; the buffer is kept as it was.
class ELogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text view the log can be shown in (the port's LogMemo). None is attached
// in the desktop program; tests attach one.
class TLogView {
public:
    virtual ~TLogView() = default;
    virtual void Clear() = 0;
    virtual void SetLines(const QStringList& Lines) = 0;
    // Caret after the last character, scrolled there.
    virtual void ScrollToEnd() = 0;
    // False for a view that only wants the log kept in its file: a refresh
    // then appends the buffer without reading the whole file back.
    virtual bool ShowsLines() const { return true; }
};

class TComLog {
public:
    int LogSize = 200000;
    QString LogName;
    QString PortName; // shown in the file header, e.g. "COM201"

    TTraceLogState Logging() const { return state_; }
    // tlAppend and tlDump throw ELogError when LogName cannot be written; the
    // state and the buffer then stay as they were, so no entry is lost.
    void SetLogging(TTraceLogState State);

    // Bytes left in the buffer before it is full. 0 while logging is off.
    int FreeSpace() const;

    // Records an entry while logging is on; a full buffer drops the oldest
    // entries to make room, never the newest.
    void AddEntry(TLogEntry Kind, const QByteArray& Data);
    void AddStringToLog(const QString& Text) { AddEntry(TLogEntry::UserString, Text.toLatin1()); }

    // The buffer's lines as they would be written to the file (no header).
    QStringList BufferedLines() const;

private:
    void WriteFile(bool Append) const;
    void Discard();

    TTraceLogState state_ = tlOff;
    std::deque<QByteArray> lines_; // formatted entry lines, oldest first, no line end
    qint64 used_ = 0;              // bytes the lines take in the file, line ends included
    QElapsedTimer clock_;          // started when logging starts from tlOff
};
