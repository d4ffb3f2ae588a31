#pragma once
// The program's serial port object: the one port the main window owns for
// the whole run, with the line settings, driver buffer sizes, log and trace
// file names the rest of the program configures, and the three fields the
// command exchange keeps with the port.

#include <QByteArray>
#include <QObject>
#include <QString>

enum class TParity { pNone, pOdd, pEven, pMark, pSpace };
enum class TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };

class TApdComPort : public QObject {
    Q_OBJECT
public:
    explicit TApdComPort(QObject* Owner = nullptr);
    ~TApdComPort() override;

    // "COM" + ComNumber is the port's name; 0 means no port selected.
    int ComNumber = 0;
    qint32 Baud = 9600;
    int DataBits = 8;
    TParity Parity = TParity::pNone;
    int StopBits = 1;
    TSWFlowOptions SWFlowOptions = TSWFlowOptions::swfNone;
    int InSize = 32768; // driver input buffer, bytes
    int OutSize = 8192; // driver output buffer, bytes
    int LogSize = 200000;
    QString TraceName;
    QString LogName;

    bool Open() const { return open_; }
    // Closes the port if it is open.
    void Close();

    // Kept with the port for the command exchange.
    bool AwaitingReply = false; // an exchange is running
    bool HoldFullTime = false;  // the running exchange waits out its hold time
    QByteArray ReplyBuffer;     // bytes received since the exchange began

private:
    bool open_ = false;
};
