#pragma once
// What the dump tests share: a face that records and cancels, a run that
// logs every command, and the file bytes they compare.

#include "link/DumpRun.h"
#include "link/StdDefs.h"
#include "tests/support/HandboxSim.h"
#include "tests/support/SimLine.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <functional>

// Records what a run shows, and cancels it when told to.
class RecordingFace final : public TDumpFace {
public:
    std::function<bool(qint64)> CancelAt = [](qint64) {
        return false;
    };
    QStringList Labels;
    qint64 Written = 0;
    bool CancelRequested() override { return cancelled_ || (cancelled_ = CancelAt(Written)); }
    void SetLabel(const QString& Text) override {
        if (Labels.isEmpty() || Labels.last() != Text)
            Labels << Text;
    }
    void SetProgress(int, int) override {}
    void SetSpinner(const QString&) override {}
    void BytesWritten(qint64 Total) override { Written = Total; }
    void Cancel() { cancelled_ = true; }

private:
    bool cancelled_ = false;
};

inline QByteArray FileBytes(const QString& Name) {
    QFile file(Name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A run against a found handbox, with room in the log for every command.
inline TDumpResult LoggedDump(SimLine& Line, const TDumpOptions& Options, int DataMode,
                              const QString& File, RecordingFace& Face) {
    Line.Port.Log.LogSize = 20 * 1000 * 1000;
    Line.Port.Log.SetLogging(tlOn);
    LinkState.ScopeFound = true;
    return RunDump(Line.Port, Options, DataMode, File, Face);
}
