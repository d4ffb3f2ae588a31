#pragma once
// The port property report: one row per property, one column per COM port,
// side by side, from what the system says of each port's configuration,
// driver properties, time-outs and device. Built afresh on each request into
// a plain table that the report window shows and the export writers write.

#include "common/ReportTable.h"
#include "diag/PortPropsBackend.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

struct TDevRegProps;

// Number of rows of the report, "Port ID" to "Hardware ID".
inline constexpr int ReportRowCount = 123;

// Builds the whole report in Table: the labels, then a column for every port
// of the device list in ascending port number. A port that cannot be read
// is reported with a plain message and keeps blanks where it was not read.
void ShowPortDetails(TReportTable& Table);

// Removes all rows, adds "No" and "Desc" to a table of fewer than two
// columns, then adds the 123 label rows.
void AddReportLabels(TReportTable& Table);
// Appends a row: its number as decimal text, then Label.
void AddReportRow(TReportTable& Table, const QString& Label);
// Appends and fills the column of PortName; Record supplies the device rows
// (null: they stay blank).
void AddPortColumn(const QString& PortName, const TDevRegProps* Record, TReportTable& Table);
// Puts Text into Column of row RowCounter (counted from 0) and advances it.
void SetReportCell(TReportTable& Table, int& RowCounter, int Column, const QString& Text);

// The texts of the enumerated fields; a value not listed gives the last entry.
QString ServiceMaskText(quint32 Value);
QString ProvSubTypeText(quint32 Value);
QString ParityText(quint32 Value);
QString StopBitsText(quint32 Value);
QString DtrControlText(quint32 Value);
QString RtsControlText(quint32 Value);

// ---- The rows' texts (PortReportTexts.cpp) -----------------------------------

// Rows of each section of a port column, after its section mark.
inline constexpr int ConfigRowCount = 7;  // "Size" to "ProviderData"
inline constexpr int PropRowCount = 69;   // "PacketLength" to "ProvChar"
inline constexpr int TimeoutRowCount = 5; // "ReadIntervalTimeout" to "WriteTotalTimeoutConstant"
inline constexpr int DcbRowCount = 27;    // "Baud Rate" to the last "Reserved"
inline constexpr int DeviceRowCount = 9;  // "Enum" to "Hardware ID"

// The 123 row labels, "Port ID" first.
const QStringList& ReportLabels();
// The bytes of a text field up to the first zero byte, read as 8-bit
// characters, without leading or trailing blanks and control characters.
QString ReportFieldText(const std::string& Bytes);
// The value texts of one section, in row order.
QStringList ConfigRows(const TCommConfig& Config);
QStringList PropRows(const TCommProp& Prop);
QStringList TimeoutRows(const TCommTimeouts& Timeouts);
QStringList DcbRows(const TDcb& Dcb);
QStringList DeviceRows(const TDevRegProps& Record);

// The backend in force: the system's, unless a test installed its own.
TPortPropsBackend& PortPropsBackend();
// Installs Backend (owned) and returns the previous one; null restores the
// system's backend.
std::unique_ptr<TPortPropsBackend>
InstallPortPropsBackend(std::unique_ptr<TPortPropsBackend> Backend);
