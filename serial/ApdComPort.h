#pragma once
// The program's serial port object, over the system's serial line
// (SerialLine.h: QSerialPort on Linux, the Win32 serial calls on Windows).
//
// It offers what the program needs of a serial component: the port chosen by
// number ("COM" + ComNumber, mapped to a device by the platform layer), the
// line settings, writing a text, reading received bytes one at a time, text
// triggers and timer triggers, and an in-memory traffic log. It also keeps
// the command exchange's state.
//
// Received bytes are announced in order. When armed trigger text completes
// in the received data, the bytes before it are announced first as a
// bytes-available event, then the text-trigger event fires, and the text's
// own bytes stay unread for the handler. Timer triggers count in ticks of
// 55 ms and fire once per arming.
//
// A device that goes away (a USB adapter pulled, the far side of a
// pseudo-terminal gone) closes the port at the first error and is reported
// once through PortLost; it is never retried in a loop.

#include "serial/ComLog.h"
#include "serial/ExchangeState.h"
#include "serial/SerialLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>

class QTimer;

// A port that cannot be opened or used, raised to the caller.
class EPortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TApdComPort : public QObject {
    Q_OBJECT
public:
    explicit TApdComPort(QObject* Owner = nullptr);
    ~TApdComPort() override;

    // ---- Port and line --------------------------------------------------------------
    // "COM" + ComNumber names the port; 0 means none. Changing it closes an
    // open port.
    int ComNumber() const { return comNumber_; }
    void SetComNumber(int Number);

    // The device the port number maps to (empty when it maps to none).
    QString DeviceName() const;

    qint32 Baud() const { return baud_; }
    // Applied at once to an open port, after what was written has left the
    // line at the old rate.
    void SetBaud(qint32 Baud);
    // Whether the open port's driver can be set to Rate. Linux and Windows
    // set any rate a serial driver takes (custom rates included), so every
    // positive rate counts while the port is open.
    bool CanSetBaud(qint32 Rate) const { return Open() && Rate > 0; }
    int DataBits = 8;
    TParity Parity = TParity::pNone;
    int StopBits = 1;
    TSWFlowOptions SWFlowOptions = TSWFlowOptions::swfNone;
    int InSize = 32768; // driver input buffer, bytes
    int OutSize = 8192; // driver output buffer, bytes

    bool Open() const;
    // Opens the device of ComNumber with the line settings, or closes it.
    // Throws EPortError when the port cannot be opened.
    void SetOpen(bool Open);
    // True once the device went away; cleared by the next open.
    bool Lost() const { return lost_; }

    // ---- Data ---------------------------------------------------------------------
    // Writes every byte of Text, in order. Throws EPortError when not open.
    void PutString(const QByteArray& Text);
    // A received byte is waiting to be read.
    bool CharReady();
    // Reads one received byte. Throws EPortError when none is waiting.
    char GetChar();
    // Discards received bytes not yet read (driver and our buffer), or bytes
    // written but not yet sent.
    void FlushInBuffer();
    void FlushOutBuffer();
    // Waits until every byte written has left the line (a few milliseconds).
    // Done by itself before a rate change and before closing.
    void DrainOutput();

    // ---- Triggers -------------------------------------------------------------------
    // A case-sensitive text trigger; returns its handle.
    quint16 AddDataTrigger(const QByteArray& Text);
    // A timer trigger, created disarmed; returns its handle.
    quint16 AddTimerTrigger();
    // Arms (Active) or disarms a timer trigger for Ticks ticks of 55 ms.
    void SetTimerTrigger(quint16 Handle, int Ticks, bool Active);
    // Removes a trigger. Throws EPortError for a handle that is not there.
    void RemoveTrigger(quint16 Handle);

    // ---- Log --------------------------------------------------------------------
    TComLog Log;
    TLogView* LogMemo = nullptr; // none in the desktop program
    int Tag = 0;                 // log file size at the last refresh that changed the view
    QString TraceName;           // tracing is never switched on

    // ---- Kept for the command exchange ------------------------------------------------
    bool AwaitingReply = false; // an exchange is running
    bool HoldFullTime = false;  // the running exchange waits out its hold time
    QByteArray ReplyBuffer;     // bytes received since the exchange began
    TExchangeState Exchange;    // the rest of the exchange's state

signals:
    // Count received bytes are ready to be read.
    void TriggerAvail(quint16 Count);
    // The text of trigger Handle has arrived (its bytes are next to be read).
    void TriggerData(quint16 Handle);
    // Timer trigger Handle ran out.
    void TriggerTimer(quint16 Handle);
    // The device went away; the port is closed. Emitted once per loss.
    void PortLost();

private:
    struct TimerTrigger;
    int BitsPerChar() const;
    void OnReadyRead();
    void Dispatch();
    void DeviceGone(const QString& Why);
    void TakeDriverBytes();

    int comNumber_ = 0;
    qint32 baud_ = 9600;
    bool lost_ = false;
    TSerialLine* line_ = nullptr;
    QByteArray input_;        // received, not yet read
    qsizetype announced_ = 0; // leading bytes of input_ already announced or matched
    bool dispatching_ = false;
    std::chrono::steady_clock::time_point lastWriteGone_{}; // the last write has left the line
    quint16 nextHandle_ = 1;
    std::map<quint16, QByteArray> dataTriggers_;
    std::map<quint16, std::unique_ptr<TimerTrigger>> timerTriggers_;
};
