// hexvac-sim: a simulated handbox on a virtual serial port, so that Hexvac
// can be tried and tested without hardware.

#include "sim/Memory.h"
#include "sim/PtyHost.h"
#include "sim/SimOptions.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

namespace {

std::atomic<PtyHost*> runningHost{nullptr};

extern "C" void OnStopSignal(int) {
    if (PtyHost* host = runningHost.load())
        host->RequestStop(); // only an eventfd write: safe in a handler
}

void SetStopSignals(void (*Handler)(int)) {
    struct sigaction action {};
    action.sa_handler = Handler;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    // Only for the command line: the help text's program name, the version.
    // The simulator runs its own loop, not Qt's.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hexvac-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HEXVAC_VERSION));
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "hexvac-sim: " << error << "\n";
        return 2;
    }
    if (options.Help) {
        std::cout << SimUsage();
        return 0;
    }
    if (options.Version) {
        std::cout << "hexvac-sim " HEXVAC_VERSION "\n";
        return 0;
    }

    std::optional<HandboxEngine> engine;
    if (options.Image.empty()) {
        engine.emplace(options.Handbox, options.Seed);
    } else {
        HandboxMemory memory;
        if (!LoadImageFile(options.Image, memory, error)) {
            std::cerr << "hexvac-sim: " << error << "\n";
            return 2;
        }
        engine.emplace(options.Handbox, std::move(memory));
    }
    if (!options.SaveImage.empty() && !SaveImageFile(options.SaveImage, engine->Memory(), error)) {
        std::cerr << "hexvac-sim: " << error << "\n";
        return 1;
    }

    PtyHost host(std::move(*engine), options.Line);
    if (!host.Open(error)) {
        std::cerr << "hexvac-sim: " << error << "\n";
        return 1;
    }
    host.SetBlockReport(&std::cout);
    std::ofstream trace;
    if (!options.Trace.empty()) {
        trace.open(options.Trace, std::ios::app);
        if (!trace) {
            std::cerr << "hexvac-sim: cannot write the trace to " << options.Trace << "\n";
            return 1;
        }
        host.SetTrace(&trace);
    }
    runningHost = &host;
    SetStopSignals(OnStopSignal);

    std::cout << "hexvac-sim: " << host.Engine().Model().DisplayName << " on COM"
              << host.PortNumber() << " (" << host.DevicePath() << ", link " << host.LinkPath()
              << ") at " << host.Engine().Baud() << " baud" << std::endl;
    host.Run();

    // A second signal during the clean-up must not cut it short.
    SetStopSignals(SIG_IGN);
    runningHost = nullptr;
    const bool vanished = host.Vanished();
    host.Stop();
    std::cout << "hexvac-sim: COM" << host.PortNumber()
              << (vanished ? " vanished (fault injected)" : " closed") << std::endl;
    return 0;
}
