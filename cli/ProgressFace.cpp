#include "cli/ProgressFace.h"

#include "common/StopSignals.h"

#include <QTextStream>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int BarWidth = 30;
constexpr qint64 RedrawMs = 200; // a terminal line redrawn more often only flickers

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
    clock_.start();
}

TConsoleDumpFace::~TConsoleDumpFace() {
    if (shown_)
        QTextStream(stderr) << '\n';
}

bool TConsoleDumpFace::CancelRequested() {
    return StopSignalled();
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
    const double seconds = double(std::max<qint64>(1, clock_.elapsed())) / 1000.0;
    const double rate = double(Total) / seconds;
    const qint64 expected = std::max<qint64>(expected_, Total);
    const int filled = expected > 0 ? int(BarWidth * Total / expected) : BarWidth;
    const qint64 left = rate > 0 ? qint64(double(expected - Total) / rate) : 0;
    QTextStream(stderr)
        << '\r' << label_.leftJustified(12) << " ["
        << QString(filled, QLatin1Char('#')).leftJustified(BarWidth, QLatin1Char('.')) << "] "
        << Total << '/' << expected << " bytes  " << QString::number(rate / 1024.0, 'f', 1)
        << " KiB/s  " << Minutes(left) << " left " << Qt::flush;
    shown_ = true;
}
