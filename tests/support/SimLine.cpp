#include "tests/support/SimLine.h"

#include "serial/Exchange.h"
#include "tests/support/ScriptedPeer.h"

#include <QTemporaryDir>

SimLine::SimLine(HandboxSettings Settings, LineOptions Options,
                 std::unique_ptr<HandboxMemory> Memory, QString ModelText)
    : host_(Memory ? std::make_unique<PtyHost>(HandboxEngine(Settings, std::move(*Memory)), Options)
                   : std::make_unique<PtyHost>(HandboxEngine(Settings), Options))
    , modelText_(std::move(ModelText)) {}

SimLine::~SimLine() {
    Port.SetOpen(false);
    host_->Stop();
}

bool SimLine::Start(QString& Error) {
    std::string error;
    if (!host_->Open(error)) {
        Error = QString::fromStdString(error);
        return false;
    }
    host_->Start();
    try {
        Port.SetComNumber(host_->PortNumber());
        Port.SetOpen(true);
    } catch (const EPortError& e) {
        Error = QString::fromLatin1(e.what());
        return false;
    }
    CreateExchangeTimers(Port);
    RouteExchangeEvents(Port, modelText_);
    return true;
}

void UsePrivateVirtualPortsFolder() {
    static QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
}

QString LogText(const TApdComPort& Port) {
    return Port.Log.BufferedLines()
        .join(QLatin1Char('\n'))
        .replace(QStringLiteral("[20]"), QStringLiteral(" "));
}

bool OpenOnPeer(TApdComPort& Port, ScriptedPeer& Peer) {
    QString error;
    const int number = Peer.Start(error);
    if (number == 0)
        return false;
    try {
        Port.SetComNumber(number);
        Port.SetOpen(true);
    } catch (const EPortError&) {
        return false;
    }
    CreateExchangeTimers(Port);
    RouteExchangeEvents(Port, QStringLiteral("ert"));
    return true;
}
