#include "common/StatusPanel.h"

void TStatusPanel::SetText(const QString& Text) {
    if (Text == text_)
        return;
    text_ = Text;
    emit TextChanged(text_);
}
