// The serial line over QSerialPort, on Linux and macOS.

#include "serial/CustomBaud.h"
#include "serial/SerialLine.h"

#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <termios.h>

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

class TQtSerialLine final : public TSerialLine {
public:
    explicit TQtSerialLine(QObject* Owner)
        : TSerialLine(Owner)
        , port_(new QSerialPort(this)) {
        connect(port_, &QSerialPort::readyRead, this, &TSerialLine::BytesArrived);
        connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
            // On hang-up QSerialPort reports ReadError (with a misleading
            // text) over and over while the port stays "open": the port
            // object closes the line at the first one.
            if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
                e == QSerialPort::WriteError) {
                const QString why = port_->errorString();
                port_->clearError();
                emit LineFailed(why);
            }
        });
    }

    bool Open(const QString& Device, const TLineSettings& Settings) override {
        port_->setPortName(Device);
        if (!port_->open(QIODevice::ReadWrite))
            return false;
        // A standard rate set below changes only the output speed while the
        // terminal's own input speed field is set.
        TieInputSpeedToOutput(*port_);
        port_->setBaudRate(Settings.Baud);
        port_->setDataBits(static_cast<QSerialPort::DataBits>(Settings.DataBits));
        port_->setParity(ToQt(Settings.Parity));
        port_->setStopBits(Settings.StopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
        port_->setFlowControl(Settings.SWFlowOptions == TSWFlowOptions::swfNone
                                  ? QSerialPort::NoFlowControl
                                  : QSerialPort::SoftwareControl);
        return true;
    }

    void Close() override {
        port_->clearError();
        port_->close();
    }

    bool IsOpen() const override { return port_->isOpen(); }

    bool SetBaud(qint32 Baud) override {
        TieInputSpeedToOutput(*port_);
        return port_->setBaudRate(Baud);
    }

    bool Write(const QByteArray& Bytes) override {
        if (port_->write(Bytes) != Bytes.size())
            return false;
        // Hand the bytes to the driver now rather than at the next pass of
        // the event loop: a command waits for nothing, and its reply comes
        // sooner.
        port_->flush();
        return port_->isOpen();
    }

    QByteArray ReadAll() override { return port_->isOpen() ? port_->readAll() : QByteArray(); }

    void DiscardInput() override { port_->clear(QSerialPort::Input); }
    void DiscardOutput() override { port_->clear(QSerialPort::Output); }

    void DrainTransmit() override {
        // Bytes still in QSerialPort's own buffer go to the driver first; a
        // command is far smaller than the driver's queue, so this seldom
        // waits.
        port_->flush();
        if (const qint64 queued = port_->bytesToWrite(); queued > 0)
            port_->waitForBytesWritten(
                int(1000 + queued * 10000 / std::max<qint32>(1, port_->baudRate())));
        const int fd = port_->handle();
        if (fd < 0)
            return;
        while (::tcdrain(fd) != 0 && errno == EINTR) {
        }
    }

    QString ErrorText() const override { return port_->errorString(); }

private:
    QSerialPort* port_;
};

} // namespace

TSerialLine* MakeSystemSerialLine(QObject* Owner) {
    return new TQtSerialLine(Owner);
}
