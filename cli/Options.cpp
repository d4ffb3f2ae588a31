#include "cli/DumpTool.h"

#include "diag/TableExport.h"

#include <QStringList>

namespace {

bool HexPage(const QString& text, int& page) {
    bool ok = false;
    page = text.toInt(&ok, 16);
    return ok && page >= 0 && page <= 0x7F;
}

} // namespace

QString DumpToolUsage() {
    return QStringLiteral(
        "Usage: hexvac-dump [options]\n"
        "Reads a telescope handbox's memory pages into a raw binary file.\n\n"
        "  --port COMn         use this port (default: find the handbox on every free port)\n"
        "  --from HEX          first page (default 02)\n"
        "  --to HEX            last page (default: the handbox's last page, 1F for a 497)\n"
        "  --include-low       also read addresses 0000-7FFF, once\n"
        "  --only              read only addresses 0000-7FFF, once\n"
        "  --mode download|peek  how to read (default: ask, Download by default)\n"
        "  -o FILE             output file (default: the name the window offers)\n"
        "  --verify            read every half-block until two reads agree (about\n"
        "                      twice as long; the line has no checksum)\n"
        "  --yes               take every question's default instead of asking\n"
        "  --info              identify the handbox, print one line, dump nothing\n"
        "  --list              list the serial ports and whether they are free\n"
        "  --virtual-only      look at virtual ports only (simulated handboxes)\n"
        "  --port-report FORMAT  write every port's properties to -o FILE (default\n"
        "                      TmpDump.<ext>) and dump nothing; FORMAT is one of\n"
        "                      html, doc, xls, txt, rtf, csv, tsv, dif, slk\n"
        "  --help              this text\n\n"
        "Questions are asked on the terminal; without one they take their default.\n"
        "Ctrl-C, SIGTERM or SIGHUP stop the dump: the file keeps every block read,\n"
        "the handbox leaves download mode and gets its rate back.\n"
        "Exit codes: 0 complete, 1 no handbox, 2 usage, 3 dump incomplete, cancelled\n"
        "or the handbox lost (the file keeps what was read), 4 file error.\n");
}

bool ParseDumpToolOptions(const QStringList& Arguments, TDumpToolOptions& Options, QString& Error) {
    for (int i = 0; i < Arguments.size(); ++i) {
        const QString& a = Arguments[i];
        auto value = [&](QString& out) {
            if (i + 1 >= Arguments.size()) {
                Error = a + QStringLiteral(" needs a value");
                return false;
            }
            out = Arguments[++i];
            return true;
        };
        QString v;
        if (a == QLatin1String("--port")) {
            if (!value(v))
                return false;
            bool ok = false;
            Options.Port =
                v.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) ? v.mid(3).toInt(&ok) : 0;
            if (!ok || Options.Port < 1 || Options.Port > 255) {
                Error = QStringLiteral("--port takes COM1 to COM255, not ") + v;
                return false;
            }
        } else if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            int page = 0;
            if (!value(v))
                return false;
            if (!HexPage(v, page)) {
                Error = a + QStringLiteral(" takes a page from 00 to 7F in hex, not ") + v;
                return false;
            }
            (a == QLatin1String("--from") ? Options.From : Options.To) = page;
        } else if (a == QLatin1String("--mode")) {
            if (!value(v))
                return false;
            if (v == QLatin1String("download"))
                Options.Mode = 1;
            else if (v == QLatin1String("peek"))
                Options.Mode = 2;
            else {
                Error = QStringLiteral("--mode takes download or peek, not ") + v;
                return false;
            }
        } else if (a == QLatin1String("-o")) {
            if (!value(Options.Output))
                return false;
            if (Options.Output.isEmpty()) {
                Error = QStringLiteral("-o needs a file name");
                return false;
            }
        } else if (a == QLatin1String("--verify")) {
            Options.Verify = true;
        } else if (a == QLatin1String("--include-low")) {
            Options.IncludeLow = true;
        } else if (a == QLatin1String("--only")) {
            Options.Only = Options.IncludeLow = true;
        } else if (a == QLatin1String("--yes")) {
            Options.Yes = true;
        } else if (a == QLatin1String("--info")) {
            Options.Info = true;
        } else if (a == QLatin1String("--list")) {
            Options.List = true;
        } else if (a == QLatin1String("--port-report")) {
            if (!value(Options.PortReport))
                return false;
            if (!ExportFormatByCliName(Options.PortReport)) {
                Error = QStringLiteral("--port-report takes html, doc, xls, txt, rtf, csv, tsv, "
                                       "dif or slk, not ") +
                        Options.PortReport;
                return false;
            }
        } else if (a == QLatin1String("--virtual-only")) {
            Options.VirtualOnly = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            Options.Help = true;
        } else {
            Error = QStringLiteral("unknown option ") + a;
            return false;
        }
    }
    return true;
}
