#pragma once
// The desktop program's UI host: the Qt dialogs of every helper, the
// program's own processing window for long searches, and the report window.

#include "common/QtUiHost.h"

class TAppUiHost final : public QtUiHost {
public:
    std::unique_ptr<TProcessingBox> CreateProcessingBox(QObject* Control) override;
    void ShowReportWindow(QObject* Control, const QString& Caption,
                          const TReportTable& Table) override;
    void ShowLogWindow(QObject* Control, const QString& Caption, const QStringList& Lines) override;
};
