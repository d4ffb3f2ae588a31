#include "serial/ApdComPort.h"

#include "common/Timing.h"
#include "diag/PortNames.h"
#include "serial/LineDrain.h"

#include <QTimer>

struct TApdComPort::TimerTrigger {
    QTimer timer;
    int ticks = Timing::ParkedTimerTicks;
    bool active = false;
};

namespace {

QByteArray HandleText(quint16 handle) {
    return QByteArray::number(handle);
}

} // namespace

TApdComPort::TApdComPort(QObject* Owner)
    : QObject(Owner)
    , line_(MakeSystemSerialLine(this)) {
    connect(line_, &TSerialLine::BytesArrived, this, &TApdComPort::OnReadyRead);
    connect(line_, &TSerialLine::LineFailed, this, &TApdComPort::DeviceGone);
}

TApdComPort::~TApdComPort() {
    timerTriggers_.clear();
    if (line_->IsOpen()) {
        DrainOutput();
        line_->Close();
    }
}

void TApdComPort::SetComNumber(int Number) {
    if (Number == comNumber_)
        return;
    if (Open())
        SetOpen(false);
    comNumber_ = Number;
    Log.PortName = QStringLiteral("COM%1").arg(Number);
}

QString TApdComPort::DeviceName() const {
    return DeviceForComNumber(comNumber_);
}

bool TApdComPort::Open() const {
    return line_->IsOpen();
}

void TApdComPort::SetBaud(qint32 Baud) {
    if (Open() && Baud != baud_)
        DrainOutput(); // what was written goes out at the rate it was meant for
    baud_ = Baud;
    if (Open() && !line_->SetBaud(baud_))
        throw EPortError(QStringLiteral("COM%1 cannot be set to %2 baud: %3")
                             .arg(comNumber_)
                             .arg(baud_)
                             .arg(line_->ErrorText())
                             .toStdString());
}

int TApdComPort::BitsPerChar() const {
    return 1 + DataBits + (Parity == TParity::pNone ? 0 : 1) + StopBits;
}

void TApdComPort::DrainOutput() {
    if (!line_->IsOpen() || lost_)
        return;
    WaitUntilSent(*line_, baud_, BitsPerChar(),
                  lastWriteGone_ + std::chrono::milliseconds(Timing::LineDrainMarginMs));
}

void TApdComPort::SetOpen(bool Open) {
    if (!Open) {
        if (line_->IsOpen()) {
            // Closing puts the terminal's old settings back: the last command
            // must have left at the rate it was written for.
            DrainOutput();
            line_->Close();
        }
        input_.clear();
        announced_ = 0;
        return;
    }
    if (line_->IsOpen())
        return;
    const QString device = DeviceName();
    if (device.isEmpty())
        throw EPortError(
            QStringLiteral("COM%1 is not a serial port").arg(comNumber_).toStdString());
    input_.clear();
    announced_ = 0;
    TLineSettings settings;
    settings.Baud = baud_;
    settings.DataBits = DataBits;
    settings.Parity = Parity;
    settings.StopBits = StopBits;
    settings.SWFlowOptions = SWFlowOptions;
    settings.InSize = InSize;
    settings.OutSize = OutSize;
    if (!line_->Open(device, settings))
        throw EPortError(QStringLiteral("Cannot open COM%1 (%2): %3")
                             .arg(comNumber_)
                             .arg(device, line_->ErrorText())
                             .toStdString());
    lost_ = false;
}

void TApdComPort::DeviceGone(const QString& Why) {
    if (lost_)
        return;
    lost_ = true;
    Log.AddStringToLog(QStringLiteral("Port lost: ") + Why);
    // Close at once: a closed port stops the error flood, and nothing is
    // read from a device that is no longer there.
    line_->Close();
    emit PortLost();
}

// ---- Data ---------------------------------------------------------------------------

void TApdComPort::PutString(const QByteArray& Text) {
    if (!Open())
        throw EPortError(QStringLiteral("COM%1 is not open").arg(comNumber_).toStdString());
    Log.AddEntry(TLogEntry::Write, Text);
    // When this write will have left the line: a rate change or a close
    // waits for that, and the margin. What was written before it has been
    // answered, or is in the driver's queue that the drain waits for.
    lastWriteGone_ = std::chrono::steady_clock::now() + LineTime(Text.size(), baud_, BitsPerChar());
    if (!line_->Write(Text) && !lost_) {
        // A device that failed under the write has been reported lost
        // (PortLost), which ends the exchange waiting on it: that is how the
        // run learns of it, not as an error of this write.
        const QString why = line_->ErrorText();
        throw EPortError(
            (why.isEmpty() ? QStringLiteral("COM%1 cannot be written to").arg(comNumber_) : why)
                .toStdString());
    }
}

void TApdComPort::TakeDriverBytes() {
    if (!line_->IsOpen())
        return;
    const QByteArray bytes = line_->ReadAll();
    if (!bytes.isEmpty()) {
        Log.AddEntry(TLogEntry::Read, bytes);
        input_.append(bytes);
    }
}

bool TApdComPort::CharReady() {
    if (input_.isEmpty())
        TakeDriverBytes();
    return !input_.isEmpty();
}

char TApdComPort::GetChar() {
    if (input_.isEmpty())
        TakeDriverBytes();
    if (input_.isEmpty())
        throw EPortError("No received byte to read");
    const char c = input_.front();
    input_.remove(0, 1);
    if (announced_ > 0)
        --announced_;
    return c;
}

void TApdComPort::FlushInBuffer() {
    if (line_->IsOpen())
        line_->DiscardInput();
    input_.clear();
    announced_ = 0;
}

void TApdComPort::FlushOutBuffer() {
    if (line_->IsOpen())
        line_->DiscardOutput();
}

void TApdComPort::OnReadyRead() {
    TakeDriverBytes();
    Dispatch();
}

// Announces received bytes in order. Bytes before a complete trigger text go
// out first as a bytes-available event, then the text-trigger event, whose
// text stays unread. A tail that may be the start of a trigger text is held
// back until it is known not to be. Handlers run one at a time: data that
// arrives while one runs is announced when it returns.
void TApdComPort::Dispatch() {
    if (dispatching_)
        return;
    dispatching_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{dispatching_};

    while (!input_.isEmpty() && announced_ < input_.size()) {
        qsizetype matchPos = -1;
        qsizetype matchLength = 0;
        quint16 matchHandle = 0;
        for (const auto& [handle, text] : dataTriggers_) {
            const qsizetype pos = input_.indexOf(text, announced_);
            if (pos >= 0 && (matchPos < 0 || pos < matchPos)) {
                matchPos = pos;
                matchLength = text.size();
                matchHandle = handle;
            }
        }

        qsizetype count = 0;
        if (matchPos > announced_) {
            count = matchPos - announced_;
        } else if (matchPos == announced_) {
            announced_ += matchLength;
            Log.AddEntry(TLogEntry::TriggerData, HandleText(matchHandle));
            emit TriggerData(matchHandle);
            continue;
        } else {
            qsizetype holdBack = 0;
            const QByteArray tail = input_.mid(announced_);
            for (const auto& [handle, text] : dataTriggers_)
                for (qsizetype n = std::min(text.size() - 1, tail.size()); n > holdBack; --n)
                    if (tail.endsWith(text.left(n))) {
                        holdBack = n;
                        break;
                    }
            count = tail.size() - holdBack;
        }
        if (count <= 0)
            break;
        count = std::min<qsizetype>(count, 0xFFFF);
        announced_ += count;
        Log.AddEntry(TLogEntry::TriggerAvail, QByteArray::number(count));
        emit TriggerAvail(static_cast<quint16>(count));
    }
}

// ---- Triggers -------------------------------------------------------------------------

quint16 TApdComPort::AddDataTrigger(const QByteArray& Text) {
    if (Text.isEmpty())
        throw EPortError("A trigger needs a text");
    while (nextHandle_ == 0 || dataTriggers_.count(nextHandle_) ||
           timerTriggers_.count(nextHandle_))
        ++nextHandle_;
    const quint16 handle = nextHandle_++;
    dataTriggers_[handle] = Text;
    Log.AddEntry(TLogEntry::TriggerAlloc, HandleText(handle) + " text " + Text);
    // The text may already be waiting in what was received.
    if (announced_ < input_.size())
        QTimer::singleShot(0, this, &TApdComPort::Dispatch);
    return handle;
}

quint16 TApdComPort::AddTimerTrigger() {
    while (nextHandle_ == 0 || dataTriggers_.count(nextHandle_) ||
           timerTriggers_.count(nextHandle_))
        ++nextHandle_;
    const quint16 handle = nextHandle_++;
    auto trigger = std::make_unique<TimerTrigger>();
    trigger->timer.setSingleShot(true);
    trigger->timer.setTimerType(Qt::PreciseTimer);
    TimerTrigger* raw = trigger.get();
    connect(&trigger->timer, &QTimer::timeout, this, [this, raw, handle] {
        raw->active = false;
        Log.AddEntry(TLogEntry::TriggerTimer, HandleText(handle));
        emit TriggerTimer(handle);
    });
    timerTriggers_[handle] = std::move(trigger);
    Log.AddEntry(TLogEntry::TriggerAlloc, HandleText(handle) + " timer");
    return handle;
}

void TApdComPort::SetTimerTrigger(quint16 Handle, int Ticks, bool Active) {
    const auto it = timerTriggers_.find(Handle);
    if (it == timerTriggers_.end())
        throw EPortError(QStringLiteral("No timer trigger %1").arg(Handle).toStdString());
    TimerTrigger& t = *it->second;
    t.timer.stop();
    t.ticks = Ticks;
    t.active = Active;
    Log.AddEntry(TLogEntry::TriggerChange,
                 HandleText(Handle) + ' ' + QByteArray::number(Ticks) + (Active ? " on" : " off"));
    if (Active)
        t.timer.start(Timing::ScaledReplyWait(std::max(0, Ticks) * Timing::SerialTickMs));
}

void TApdComPort::RemoveTrigger(quint16 Handle) {
    if (dataTriggers_.erase(Handle) == 0 && timerTriggers_.erase(Handle) == 0)
        throw EPortError(QStringLiteral("No trigger %1").arg(Handle).toStdString());
    Log.AddEntry(TLogEntry::TriggerDispose, HandleText(Handle));
}
