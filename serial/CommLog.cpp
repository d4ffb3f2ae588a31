#include "serial/CommLog.h"

#include "common/EventWait.h"
#include "common/StdFuncsMisc.h"
#include "serial/ApdComPort.h"
#include "serial/Version.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <climits>
#include <iterator>
#include <stdexcept>

namespace {

// An invalid time of day stands for a clock that could not be read.
void DecodeTime(const QTime& Now, int& Hours, int& Minutes, int& Seconds, int& Ms) {
    if (!Now.isValid())
        throw std::runtime_error("no time of day");
    Hours = Now.hour();
    Minutes = Now.minute();
    Seconds = Now.second();
    Ms = Now.msec();
}

// The entries the view leaves out, each told by a range of its columns
// (counted from 1): the trigger bookkeeping, the bytes-available and timer
// events, and every entry whose subtype reads "Data" (the text-trigger
// events). Writes, reads and the program's own lines stay.
struct THiddenEntry {
    TLogEntry kind;
    int first;
    int last;
};

constexpr int TypeFirst = TLogLayout::TypeColumn;
constexpr int SubtypeFirst = TLogLayout::SubtypeColumn;

constexpr THiddenEntry HiddenEntries[] = {
    {TLogEntry::TriggerAvail, TypeFirst, SubtypeFirst + 4},
    {TLogEntry::TriggerTimer, TypeFirst, SubtypeFirst + 4},
    {TLogEntry::TriggerChange, TypeFirst, TypeFirst + 7},
    {TLogEntry::HandlerAlloc, TypeFirst, TypeFirst + 7},
    {TLogEntry::TriggerAlloc, TypeFirst, TypeFirst + 7},
    {TLogEntry::TriggerDispose, TypeFirst, TypeFirst + 7},
    {TLogEntry::TriggerData, SubtypeFirst, SubtypeFirst + 3},
};

// Header lines begin with one of these; entry lines never do.
const QString HeaderStarts = QStringLiteral("-ACDOT");

bool HiddenInView(const QString& Line) {
    if (!Line.isEmpty() && HeaderStarts.contains(Line.front()))
        return true; // the header of a later append
    // The columns each hidden entry is told by, as the port writes them.
    static const auto Expected = [] {
        std::array<QString, std::size(HiddenEntries)> texts;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const THiddenEntry& hidden = HiddenEntries[i];
            texts[i] = TLogLayout::Columns(hidden.kind)
                           .mid(hidden.first - TypeFirst, hidden.last - hidden.first + 1);
        }
        return texts;
    }();
    for (std::size_t i = 0; i < Expected.size(); ++i) {
        if (QStringView(Line).mid(HiddenEntries[i].first - 1, Expected[i].size()) == Expected[i])
            return true;
    }
    return false;
}

QStringList ReadLogFile(const QString& Name) {
    QFile file(Name);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the log file");
    QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // after the final line end
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

// The first lines (the file's header) stay as they are; of the rest, the
// lines the view hides are left out and every escaped blank is shown as one.
QStringList FilteredLines(const QStringList& Lines) {
    QStringList shown;
    shown.reserve(Lines.size());
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        if (i < TLogLayout::HeaderLines) {
            shown.append(Lines[i]);
        } else if (!HiddenInView(Lines[i])) {
            shown.append(Lines[i]);
            shown.last().replace(QStringLiteral("[20]"), QStringLiteral(" "));
        }
    }
    return shown;
}

} // namespace

void ClearLog(TApdComPort& Port) {
    ClearLog(Port, QTime::currentTime());
}

void ClearLog(TApdComPort& Port, const QTime& Now) {
    try {
        try {
            Port.Log.SetLogging(tlOff);
            const QString& name = Port.Log.LogName;
            if (QFile::exists(name) && !QFile::remove(name))
                throw ELogError("cannot delete the log file");
            Port.Log.SetLogging(tlClear);
            Port.Log.SetLogging(tlOn);
        } catch (const ELogError&) {
            ShowPlainMessage(QStringLiteral("Log Off/Clear/On Blew Up"));
            return;
        }

        int hours = 0, minutes = 0, seconds = 0, ms = 0;
        try {
            DecodeTime(Now, hours, minutes, seconds, ms);
        } catch (const std::runtime_error&) {
            ShowPlainMessage(QStringLiteral("DecodeTime Blew Up"));
            hours = minutes = seconds = ms = 0;
        }

        if (Port.ComNumber() != 0) {
            try {
                Port.Log.AddStringToLog(GetVersionText());
                Port.Log.AddStringToLog(
                    QString::asprintf("%2.2d:%2.2d:%2.2d:%3.3d", hours, minutes, seconds, ms));
            } catch (const std::exception&) {
                // Neither call has an error of its own: what can fail is an
                // allocation, or a handler run while the version's failure
                // message was shown.
                ShowPlainMessage(QStringLiteral("AddStringtoLog Blew Up on ComNum") +
                                 QString::number(Port.ComNumber()));
            }
        }
        // The file was deleted, so whatever size the view last showed is gone.
        Port.Tag = 0;

        if (Port.LogMemo != nullptr)
            Port.LogMemo->Clear();
    } catch (...) {
        // Port selection clears the log inside its click handlers and goes
        // on whatever happens here, and the attached view is anyone's code:
        // nothing may escape from here into the handler and from there into
        // Qt's event loop, and the log is only a record, so the failure is
        // told and dropped.
        ShowPlainMessage(QStringLiteral("ClearLog died"));
    }
}

bool RefreshLog(TApdComPort& Port) {
    if (Port.LogMemo == nullptr)
        return false;
    bool reloaded = false;
    try {
        Port.Log.SetLogging(tlAppend);
        ProcessPendingMessages();
        const qint64 size = FileSizeOf(Port.Log.LogName);
        if (size >= 0 && size != Port.Tag) {
            // Tag is an int; a log past 2 GiB is compared at its cap, which
            // only costs a reload.
            Port.Tag = int(std::min<qint64>(size, INT_MAX));
            reloaded = true;
            // The messages just handled may have detached the view.
            if (Port.LogMemo == nullptr || Port.LogMemo->ShowsLines()) {
                const QStringList lines = FilteredLines(ReadLogFile(Port.Log.LogName));
                if (TLogView* view = Port.LogMemo) {
                    view->SetLines(lines);
                    view->ScrollToEnd();
                }
            }
        }
        Port.Log.SetLogging(tlClear);
        Port.Log.SetLogging(tlOn);
    } catch (...) {
        // Besides the log's own errors (ELogError, an unreadable file), this
        // catches whatever a handler run by the pending messages above, or
        // the attached view, throws. RefreshLog runs in the middle of every
        // exchange and run; a log that cannot be shown must end none of
        // them, and nothing may escape into Qt's event loop.
        ShowPlainMessage(QStringLiteral("Exception in RefreshLog"));
    }
    return reloaded;
}

QStringList CurrentLogLines(TApdComPort& Port) {
    // Before the first port is opened logging is off and there is no file:
    // a refresh would switch logging on, which only opening a port does.
    if (Port.Log.LogName.isEmpty() ||
        (Port.Log.Logging() == tlOff && !QFile::exists(Port.Log.LogName)))
        return {};
    class TCapture final : public TLogView {
    public:
        void Clear() override { Lines.clear(); }
        void SetLines(const QStringList& Shown) override { Lines = Shown; }
        void ScrollToEnd() override {}
        QStringList Lines;
    } capture;
    TLogView* const attached = Port.LogMemo;
    Port.LogMemo = &capture;
    // Whatever size the file had, this view has shown none of it.
    Port.Tag = -1;
    RefreshLog(Port);
    Port.LogMemo = attached;
    // The attached view has not seen what this refresh appended.
    if (attached)
        Port.Tag = -1;
    return capture.Lines;
}
