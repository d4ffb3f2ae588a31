#include "cli/ProgressFace.h"

#include <QTextStream>
#include <algorithm>
#include <csignal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int BarWidth = 30;
constexpr qint64 RedrawMs = 200; // a terminal line redrawn more often only flickers

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

bool StderrIsTerminal() {
#ifdef Q_OS_UNIX
    return ::isatty(2) == 1;
#else
    return false;
#endif
}

QString Minutes(qint64 Seconds) {
    return QStringLiteral("%1:%2").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TConsoleDumpFace::TConsoleDumpFace(qint64 Expected)
    : expected_(Expected)
    , show_(StderrIsTerminal()) {
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    clock_.start();
}

TConsoleDumpFace::~TConsoleDumpFace() {
    std::signal(SIGINT, SIG_DFL);
    if (shown_)
        QTextStream(stderr) << '\n';
}

bool TConsoleDumpFace::CancelRequested() {
    return interrupted != 0;
}

void TConsoleDumpFace::BytesWritten(qint64 Total) {
    if (!show_)
        return;
    const qint64 now = clock_.elapsed();
    if (lastDrawMs_ >= 0 && now - lastDrawMs_ < RedrawMs && Total < expected_)
        return;
    lastDrawMs_ = now;
    Draw(Total);
}

void TConsoleDumpFace::Draw(qint64 Total) {
    const double seconds = std::max<qint64>(1, clock_.elapsed()) / 1000.0;
    const double rate = Total / seconds;
    const qint64 expected = std::max<qint64>(expected_, Total);
    const int filled = expected > 0 ? int(BarWidth * Total / expected) : BarWidth;
    const qint64 left = rate > 0 ? qint64((expected - Total) / rate) : 0;
    QTextStream(stderr)
        << '\r' << label_.leftJustified(12) << " ["
        << QString(filled, QLatin1Char('#')).leftJustified(BarWidth, QLatin1Char('.')) << "] "
        << Total << '/' << expected << " bytes  " << QString::number(rate / 1024.0, 'f', 1)
        << " KiB/s  " << Minutes(left) << " left " << Qt::flush;
    shown_ = true;
}
