#pragma once
// The UI host of hexvac-dump: messages and notices go to standard error; a
// question is asked on the terminal when standard input is one, and takes its
// default button otherwise, or always when the user passed --yes.

#include "common/UiHost.h"

class ConsoleUiHost final : public UiHost {
public:
    explicit ConsoleUiHost(bool TakeDefaults)
        : takeDefaults_(TakeDefaults) {}

    void ShowMessage(QObject* Control, const QString& Text) override;
    void FlashMessage(QObject* Control, const QString& Text) override;
    int AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                    const QString& Caption2, int DefaultButton) override;
    void PlainMessage(const QString& Text) override;
    void SetBusyCursor(bool) override {}
    // The tool names its file itself (-o, or this default).
    QString AskSaveFileName(QObject*, const QString& DefaultName, const QString&,
                            const QString&) override {
        return DefaultName;
    }

private:
    bool takeDefaults_;
};
