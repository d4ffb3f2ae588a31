#include "tests/support/SimLine.h"

#include "serial/Exchange.h"

#include <QTemporaryDir>

namespace {

// Opens Port on virtual port Number, with the exchange in place.
bool OpenWithExchange(TApdComPort& Port, int Number, const QString& ModelText, QString& Error) {
    try {
        Port.SetComNumber(Number);
        Port.SetOpen(true);
    } catch (const EPortError& e) {
        Error = QString::fromLatin1(e.what());
        return false;
    }
    CreateExchangeTimers(Port);
    RouteExchangeEvents(Port, ModelText);
    return true;
}

} // namespace

SimHandbox::SimHandbox(HandboxSettings Settings, LineOptions Options,
                       std::unique_ptr<HandboxMemory> Memory)
    : host_(Memory ? std::make_unique<PtyHost>(HandboxEngine(Settings, std::move(*Memory)), Options)
                   : std::make_unique<PtyHost>(HandboxEngine(Settings), Options)) {}

SimHandbox::~SimHandbox() {
    host_->Stop();
}

bool SimHandbox::Start(QString& Error) {
    std::string error;
    if (!host_->Open(error)) {
        Error = QString::fromStdString(error);
        return false;
    }
    host_->Start();
    return true;
}

SimLine::SimLine(HandboxSettings Settings, LineOptions Options,
                 std::unique_ptr<HandboxMemory> Memory, QString ModelText)
    : handbox_(Settings, Options, std::move(Memory))
    , modelText_(std::move(ModelText)) {}

SimLine::~SimLine() {
    Port.SetOpen(false);
    handbox_.Host().Stop();
}

bool SimLine::Start(QString& Error) {
    return handbox_.Start(Error) &&
           OpenWithExchange(Port, handbox_.PortNumber(), modelText_, Error);
}

bool PeerLine::Start(QString& Error) {
    const int number = Peer.Start(Error);
    return number != 0 && OpenWithExchange(Port, number, PortEventsModelText, Error);
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
