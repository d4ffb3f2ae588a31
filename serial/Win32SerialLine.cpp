// The serial line on Windows, on the Win32 serial calls (Win32Comm.h).
//
// QSerialPort's Windows backend waits on an overlapped WaitCommEvent, which
// Wine never completes; this line waits on the overlapped read itself: the
// event loop sleeps on the read's event (QWinEventNotifier) and wakes when
// bytes came in or the line failed.

#include "serial/SerialLine.h"
#include "serial/Win32Comm.h"

#include <QWinEventNotifier>

namespace {

BYTE ToWin32(TParity Parity) {
    switch (Parity) {
    case TParity::pOdd:
        return ODDPARITY;
    case TParity::pEven:
        return EVENPARITY;
    case TParity::pMark:
        return MARKPARITY;
    case TParity::pSpace:
        return SPACEPARITY;
    case TParity::pNone:
        break;
    }
    return NOPARITY;
}

class TWin32SerialLine final : public TSerialLine {
public:
    explicit TWin32SerialLine(QObject* Owner)
        : TSerialLine(Owner)
        , notifier_(new QWinEventNotifier(comm_.ReadEvent(), this)) {
        notifier_->setEnabled(false);
        connect(notifier_, &QWinEventNotifier::activated, this, &TWin32SerialLine::OnReadDone);
    }

    ~TWin32SerialLine() override { Close(); }

    bool Open(const QString& Device, const TLineSettings& Settings) override {
        TWin32LineSettings win;
        win.Baud = static_cast<DWORD>(Settings.Baud);
        win.DataBits = static_cast<BYTE>(Settings.DataBits);
        win.Parity = ToWin32(Settings.Parity);
        win.StopBits = Settings.StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        win.SoftwareFlow = Settings.SWFlowOptions != TSWFlowOptions::swfNone;
        win.InSize = static_cast<DWORD>(Settings.InSize);
        win.OutSize = static_cast<DWORD>(Settings.OutSize);
        received_.clear();
        failed_ = false;
        if (!Check(comm_.Open(Device.toStdString(), win)))
            return false;
        notifier_->setEnabled(true);
        return true;
    }

    void Close() override {
        notifier_->setEnabled(false);
        comm_.Close();
        received_.clear();
    }

    bool IsOpen() const override { return comm_.IsOpen(); }

    bool SetBaud(qint32 Baud) override { return Check(comm_.SetBaud(static_cast<DWORD>(Baud))); }

    bool Write(const QByteArray& Bytes) override {
        if (!IsOpen())
            return Fail(ERROR_INVALID_HANDLE);
        const DWORD error = comm_.Write(Bytes.constData(), static_cast<DWORD>(Bytes.size()));
        return error == ERROR_SUCCESS || Fail(error);
    }

    QByteArray ReadAll() override {
        // Bytes of a read that completed since the event loop last looked
        // are taken now, so a caller that asks needs no pass of the loop.
        Collect();
        QByteArray bytes(received_.data(), static_cast<qsizetype>(received_.size()));
        received_.clear();
        return bytes;
    }

    void DiscardInput() override {
        Collect();
        received_.clear();
        Check(comm_.PurgeInput());
    }

    void DiscardOutput() override { Check(comm_.PurgeOutput()); }

    void DrainTransmit() override { Check(comm_.Drain()); }

    QString ErrorText() const override { return errorText_; }

private:
    // Takes the bytes of a completed read; false once the device failed.
    bool Collect() {
        if (!IsOpen() || failed_)
            return false;
        const DWORD error = comm_.TakeRead(received_);
        return error == ERROR_SUCCESS || Fail(error);
    }

    void OnReadDone() {
        const std::size_t before = received_.size();
        if (Collect() && received_.size() > before)
            emit BytesArrived();
    }

    bool Check(DWORD Error) {
        if (Error != ERROR_SUCCESS)
            errorText_ = QString::fromLocal8Bit(TWin32Comm::ErrorText(Error).c_str());
        return Error == ERROR_SUCCESS;
    }

    // A read or write that failed: the device went away or broke. Told
    // once; the port object closes the line.
    bool Fail(DWORD Error) {
        Check(Error);
        if (!failed_) {
            failed_ = true;
            notifier_->setEnabled(false);
            emit LineFailed(errorText_);
        }
        return false;
    }

    TWin32Comm comm_;
    QWinEventNotifier* notifier_;
    std::string received_;
    QString errorText_;
    bool failed_ = false;
};

} // namespace

TSerialLine* MakeSystemSerialLine(QObject* Owner) {
    return new TWin32SerialLine(Owner);
}
