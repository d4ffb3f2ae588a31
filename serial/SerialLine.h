#pragma once
// The serial line under the port object: a device opened by name, its line
// settings, bytes written and received, and word when the device goes away.
//
// TApdComPort keeps everything the program sees of a port (triggers, the log,
// the exchange's fields) and talks to the device only through this
// interface. Each system has one line, chosen at build time: QSerialPort on
// Linux and macOS (QtSerialLine.cpp), our own on the Win32 serial calls on
// Windows (Win32SerialLine.cpp).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

enum class TParity { pNone, pOdd, pEven, pMark, pSpace };
enum class TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };

// What a line is opened with; the port object's properties fill it.
struct TLineSettings {
    qint32 Baud = 0;
    int DataBits = 0;
    TParity Parity = TParity::pNone;
    int StopBits = 0;
    TSWFlowOptions SWFlowOptions = TSWFlowOptions::swfNone;
    int InSize = 0;  // driver input buffer, bytes
    int OutSize = 0; // driver output buffer, bytes
};

class TSerialLine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens Device ("COM5", "/dev/ttyUSB0") with exclusive access and the
    // Settings. False, with ErrorText set, when it cannot.
    virtual bool Open(const QString& Device, const TLineSettings& Settings) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Sets the rate of the open line, input and output alike. False, with
    // ErrorText set, when the driver refuses it.
    virtual bool SetBaud(qint32 Baud) = 0;
    // Hands every byte of Bytes to the driver. False when the device
    // failed (LineFailed has been emitted then).
    virtual bool Write(const QByteArray& Bytes) = 0;
    // Every byte received and not yet taken.
    virtual QByteArray ReadAll() = 0;
    // Discards what was received and not yet taken (the driver's queue
    // included), or what was written and not yet sent.
    virtual void DiscardInput() = 0;
    virtual void DiscardOutput() = 0;
    // Blocks until the driver's transmit queue is empty: the line's own
    // time, spent asleep in the driver.
    virtual void DrainTransmit() = 0;
    // What the last failure was, in the system's words.
    virtual QString ErrorText() const = 0;

signals:
    // Received bytes wait to be taken with ReadAll.
    void BytesArrived();
    // The device went away or failed; the line stays open until closed.
    void LineFailed(const QString& Why);
};

// The line of the system the program was built for.
TSerialLine* MakeSystemSerialLine(QObject* Owner);
