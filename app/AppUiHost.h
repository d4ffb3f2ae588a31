#pragma once
// The desktop program's UI host: the Qt dialogs of every helper, and the
// program's own processing window for long searches.

#include "common/QtUiHost.h"

class TAppUiHost final : public QtUiHost {
public:
    std::unique_ptr<TProcessingBox> CreateProcessingBox(QObject* Control) override;
};
