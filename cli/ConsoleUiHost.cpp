#include "cli/ConsoleUiHost.h"

#include "common/StopSignals.h"

#include <QTextStream>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// A message of several lines uses "\r" between them, as the window's do.
QString ConsoleText(const QString& Text) {
    QString text = Text;
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void Say(const QString& Text) {
    QTextStream(stderr) << "hexvac-dump: " << ConsoleText(Text) << Qt::endl;
}

bool StdinIsTerminal() {
#ifdef Q_OS_UNIX
    return ::isatty(0) == 1;
#else
    return false;
#endif
}

} // namespace

void ConsoleUiHost::ShowMessage(QObject*, const QString& Text) {
    Say(Text);
}

void ConsoleUiHost::FlashMessage(QObject*, const QString& Text) {
    Say(Text);
}

int ConsoleUiHost::AskQuestion(QObject*, const QString& Question, const QString& Caption1,
                               const QString& Caption2, int DefaultButton) {
    const int fallback = DefaultButton == 1 ? 1 : 2;
    const QString choices = QStringLiteral("1 = %1, 2 = %2").arg(Caption1, Caption2);
    // A stop signal closes the question, as the window's close box would.
    if (StopSignalled())
        return -1;
    if (takeDefaults_ || !StdinIsTerminal()) {
        Say(QStringLiteral("%1 (%2): %3").arg(ConsoleText(Question), choices).arg(fallback));
        return fallback;
    }
    // The user at the terminal answers; an empty line or the end of input
    // takes the default.
    QTextStream err(stderr);
    QTextStream in(stdin);
    for (;;) {
        err << "hexvac-dump: " << ConsoleText(Question) << " (" << choices << ") [" << fallback
            << "] " << Qt::flush;
        if (!WaitForInputUnlessStopped()) {
            err << Qt::endl;
            return -1;
        }
        QString line;
        if (!in.readLineInto(&line))
            line.clear();
        line = line.trimmed();
        if (line.isEmpty())
            return fallback;
        if (line == QLatin1String("1") || line.compare(Caption1, Qt::CaseInsensitive) == 0)
            return 1;
        if (line == QLatin1String("2") || line.compare(Caption2, Qt::CaseInsensitive) == 0)
            return 2;
    }
}

void ConsoleUiHost::PlainMessage(const QString& Text) {
    Say(Text);
}
