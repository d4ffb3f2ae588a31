// The port property report: a column per COM port of the device list, each
// filled section by section from what the platform backend reads of it.

#include "diag/PortReport.h"

#include "common/StdFuncsMisc.h"
#include "diag/PortEnum.h"

#include <algorithm>
#include <vector>

namespace {

const QString SectionMark = QStringLiteral("**********");
const QString Blank = QStringLiteral(" ");
const QString ComPrefix = QStringLiteral("COM");

constexpr int NumberColumnWidth = 30;
constexpr int LabelColumnWidth = 150;
constexpr int PortColumnWidth = 90;
// Port numbers are right-aligned to at least this many characters for the
// sort.
constexpr qsizetype SortKeyWidth = 3;

struct TBackendRegistry {
    std::unique_ptr<TPortPropsBackend> Installed;
    std::unique_ptr<TPortPropsBackend> System;
};

TBackendRegistry& Registry() {
    static TBackendRegistry registry;
    return registry;
}

// A section: its mark, then its rows, or as many rows left blank when the
// section could not be read (Rows empty).
void FillSection(TReportTable& Table, int& Row, int Column, const QStringList& Rows, int RowCount) {
    SetReportCell(Table, Row, Column, SectionMark);
    if (Rows.isEmpty()) {
        Row += RowCount;
        return;
    }
    for (const QString& text : Rows)
        SetReportCell(Table, Row, Column, text);
}

// A port line of the device list, with the key it is sorted by.
struct TPortEntry {
    QString Number;   // what follows "COM" in the port name
    QString SortText; // the aligned number, then the line
    const TDevRegProps* Record = nullptr;
};

} // namespace

void ShowPortDetails(TReportTable& Table) {
    AddReportLabels(Table);
    TPortList list;
    GetDeviceList(list, false, false);

    std::vector<TPortEntry> ports;
    qsizetype keyWidth = SortKeyWidth;
    for (const TPortListLine& line : list) {
        if (!line.Text.startsWith(ComPrefix))
            continue;
        TPortEntry entry;
        entry.Number = line.Text.section(QLatin1Char('\t'), 0, 0).mid(ComPrefix.size()).trimmed();
        entry.SortText = line.Text;
        entry.Record = line.Props.get();
        keyWidth = std::max(keyWidth, entry.Number.size());
        ports.push_back(entry);
    }
    // The key is the whole number right-aligned, so COM2 comes before COM10
    // and a port beyond COM999 is neither cut to another port's name nor
    // sorted among the short ones.
    for (TPortEntry& port : ports)
        port.SortText.prepend(port.Number.rightJustified(keyWidth, QLatin1Char(' ')));
    std::sort(ports.begin(), ports.end(),
              [](const TPortEntry& A, const TPortEntry& B) { return A.SortText < B.SortText; });

    for (const TPortEntry& port : ports)
        AddPortColumn(ComPrefix + port.Number, port.Record, Table);
}

void AddReportLabels(TReportTable& Table) {
    Table.Rows.clear();
    if (Table.ColumnCount() < 2) {
        Table.AddColumn(QStringLiteral("No"), NumberColumnWidth);
        Table.AddColumn(QStringLiteral("Desc"), LabelColumnWidth);
    }
    for (const QString& label : ReportLabels())
        AddReportRow(Table, label);
}

void AddReportRow(TReportTable& Table, const QString& Label) {
    const int row = Table.AddRow();
    if (Table.ColumnCount() >= 2) {
        Table.SetCell(row, 0, QString::number(row + 1));
        Table.SetCell(row, 1, Label);
    }
}

void AddPortColumn(const QString& PortName, const TDevRegProps* Record, TReportTable& Table) {
    TPortPropsBackend& backend = PortPropsBackend();
    const std::string name = PortName.toStdString();
    const QString target = ReportFieldText(backend.DeviceTarget(name));

    Table.AddColumn(PortName, PortColumnWidth, Blank);
    const int column = Table.ColumnCount() - 1;
    int row = 0;
    SetReportCell(Table, row, column, target);

    TPortRecords records;
    if (!backend.ReadPortRecords(name, records)) {
        ShowPlainMessage(QStringLiteral("Failed to get Handle to ") + PortName);
        return;
    }
    if (!records.Config)
        ShowPlainMessage(QStringLiteral("Failed to get Config for ") + PortName);
    if (!records.Prop)
        ShowPlainMessage(QStringLiteral("Failed to get Prop for ") + PortName);
    if (!records.Timeouts)
        ShowPlainMessage(QStringLiteral("Failed to get Timeouts for ") + PortName);

    FillSection(Table, row, column, records.Config ? ConfigRows(*records.Config) : QStringList(),
                ConfigRowCount);
    FillSection(Table, row, column, records.Prop ? PropRows(*records.Prop) : QStringList(),
                PropRowCount);
    FillSection(Table, row, column,
                records.Timeouts ? TimeoutRows(*records.Timeouts) : QStringList(), TimeoutRowCount);
    FillSection(Table, row, column, records.Config ? DcbRows(records.Config->dcb) : QStringList(),
                DcbRowCount);
    FillSection(Table, row, column, Record ? DeviceRows(*Record) : QStringList(), DeviceRowCount);
}

void SetReportCell(TReportTable& Table, int& RowCounter, int Column, const QString& Text) {
    // A table without the label rows has nowhere to put the text; the
    // counter still moves on so the sections stay in step.
    if (RowCounter >= 0 && RowCounter < Table.RowCount() && Column >= 0 &&
        Column < Table.ColumnCount())
        Table.SetCell(RowCounter, Column, Text);
    ++RowCounter;
}

TPortPropsBackend& PortPropsBackend() {
    TBackendRegistry& registry = Registry();
    if (registry.Installed)
        return *registry.Installed;
    if (!registry.System)
        registry.System = MakeSystemPortPropsBackend();
    return *registry.System;
}

std::unique_ptr<TPortPropsBackend>
InstallPortPropsBackend(std::unique_ptr<TPortPropsBackend> Backend) {
    std::swap(Registry().Installed, Backend);
    return Backend;
}
