#include "serial/ApdComPort.h"

#include "common/Timing.h"
#include "diag/PortNames.h"
#include "serial/CustomBaud.h"
#include "serial/LineDrain.h"

#include <QSerialPort>
#include <QTimer>

struct TApdComPort::TimerTrigger {
    QTimer timer;
    int ticks = Timing::ParkedTimerTicks;
    bool active = false;
};

namespace {

QSerialPort::Parity ToQt(TParity parity) {
    switch (parity) {
    case TParity::pOdd:
        return QSerialPort::OddParity;
    case TParity::pEven:
        return QSerialPort::EvenParity;
    case TParity::pMark:
        return QSerialPort::MarkParity;
    case TParity::pSpace:
        return QSerialPort::SpaceParity;
    case TParity::pNone:
        break;
    }
    return QSerialPort::NoParity;
}

QByteArray HandleText(quint16 handle) {
    return QByteArray::number(handle);
}

} // namespace

TApdComPort::TApdComPort(QObject* Owner)
    : QObject(Owner)
    , serial_(new QSerialPort(this)) {
    connect(serial_, &QSerialPort::readyRead, this, &TApdComPort::OnReadyRead);
    connect(serial_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // On hang-up QSerialPort reports ReadError (with a misleading text)
        // over and over while the port stays "open": the first one ends it.
        if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
            e == QSerialPort::WriteError)
            DeviceGone(serial_->errorString());
    });
}

TApdComPort::~TApdComPort() {
    timerTriggers_.clear();
    if (serial_->isOpen()) {
        DrainOutput();
        serial_->close();
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
    return serial_->isOpen();
}

void TApdComPort::SetBaud(qint32 Baud) {
    if (Open() && Baud != baud_)
        DrainOutput(); // what was written goes out at the rate it was meant for
    baud_ = Baud;
    if (Open()) {
        TieInputSpeedToOutput(*serial_);
        if (!serial_->setBaudRate(baud_))
            throw EPortError(QStringLiteral("COM%1 cannot be set to %2 baud: %3")
                                 .arg(comNumber_)
                                 .arg(baud_)
                                 .arg(serial_->errorString())
                                 .toStdString());
    }
}

void TApdComPort::ApplyLineSettings() {
    TieInputSpeedToOutput(*serial_);
    serial_->setBaudRate(baud_);
    serial_->setDataBits(static_cast<QSerialPort::DataBits>(DataBits));
    serial_->setParity(ToQt(Parity));
    serial_->setStopBits(StopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    serial_->setFlowControl(SWFlowOptions == TSWFlowOptions::swfNone
                                ? QSerialPort::NoFlowControl
                                : QSerialPort::SoftwareControl);
}

int TApdComPort::BitsPerChar() const {
    return 1 + DataBits + (Parity == TParity::pNone ? 0 : 1) + StopBits;
}

void TApdComPort::DrainOutput() {
    if (!serial_->isOpen() || lost_)
        return;
    WaitUntilSent(*serial_, baud_, BitsPerChar(),
                  lastWriteGone_ + std::chrono::milliseconds(Timing::LineDrainMarginMs));
}

void TApdComPort::SetOpen(bool Open) {
    if (!Open) {
        if (serial_->isOpen()) {
            // Closing puts the terminal's old settings back: the last command
            // must have left at the rate it was written for.
            DrainOutput();
            serial_->close();
        }
        input_.clear();
        announced_ = 0;
        return;
    }
    if (serial_->isOpen())
        return;
    const QString device = DeviceName();
    if (device.isEmpty())
        throw EPortError(
            QStringLiteral("COM%1 is not a serial port").arg(comNumber_).toStdString());
    serial_->setPortName(device);
    input_.clear();
    announced_ = 0;
    if (!serial_->open(QIODevice::ReadWrite))
        throw EPortError(QStringLiteral("Cannot open COM%1 (%2): %3")
                             .arg(comNumber_)
                             .arg(device, serial_->errorString())
                             .toStdString());
    lost_ = false;
    ApplyLineSettings();
}

void TApdComPort::DeviceGone(const QString& Why) {
    if (lost_)
        return;
    lost_ = true;
    Log.AddStringToLog(QStringLiteral("Port lost: ") + Why);
    // Close at once: a closed port stops the error flood, and nothing is
    // read from a device that is no longer there.
    serial_->clearError();
    serial_->close();
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
    if (serial_->write(Text) != Text.size())
        throw EPortError(serial_->errorString().toStdString());
    // Hand the bytes to the driver now rather than at the next pass of the
    // event loop: a command waits for nothing, and its reply comes sooner.
    serial_->flush();
}

void TApdComPort::TakeDriverBytes() {
    if (!serial_->isOpen())
        return;
    const QByteArray bytes = serial_->readAll();
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
    if (serial_->isOpen())
        serial_->clear(QSerialPort::Input);
    input_.clear();
    announced_ = 0;
}

void TApdComPort::FlushOutBuffer() {
    if (serial_->isOpen())
        serial_->clear(QSerialPort::Output);
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
