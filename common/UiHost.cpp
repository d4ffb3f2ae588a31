#include "common/UiHost.h"

#include "common/StdFuncsMisc.h"

namespace {

// Used before any host is installed (early start-up, a library used alone):
// nothing is shown and every question counts as closed without an answer.
class SilentUiHost final : public UiHost {
public:
    void ShowMessage(QObject*, const QString&) override {}
    void FlashMessage(QObject*, const QString&) override {}
    int AskQuestion(QObject*, const QString&, const QString&, const QString&, int) override {
        return -1;
    }
    void PlainMessage(const QString&) override {}
    void SetBusyCursor(bool) override {}
};

SilentUiHost silentHost;
UiHost* installedHost = nullptr;
bool busyCursor = false;

// A processing window nobody sees.
class HiddenProcessingBox final : public TProcessingBox {
public:
    void SetCaption(const QString&) override {}
    void SetLabel1(const QString&) override {}
    void SetLabel2(const QString&) override {}
    void SetProgress(int, int, int) override {}
    void Show() override {}
    void EnableCancel() override {}
    void Close() override {}
};

} // namespace

QString UiHost::AskSaveFileName(QObject*, const QString&, const QString&, const QString&) {
    return {};
}

void UiHost::ShowReportWindow(QObject*, const QString&, const TReportTable&) {}

void UiHost::ShowLogWindow(QObject*, const QString&, const QStringList&) {}

QString AskSaveFileName(QObject* Control, const QString& DefaultName, const QString& Filter,
                        const QString& DefaultSuffix) {
    return CurrentUiHost().AskSaveFileName(Control, DefaultName, Filter, DefaultSuffix);
}

std::unique_ptr<TProcessingBox> UiHost::CreateProcessingBox(QObject*) {
    return std::make_unique<HiddenProcessingBox>();
}

UiHost& CurrentUiHost() {
    return installedHost && !installedHost->DialogsEnded() ? *installedHost : silentHost;
}

bool UiDialogsEnded() {
    return installedHost && installedHost->DialogsEnded();
}

UiHost* InstallUiHost(UiHost* Host) {
    UiHost* previous = installedHost;
    installedHost = Host;
    return previous;
}

void ShowMessageAt(QObject* Control, const QString& Text) {
    CurrentUiHost().ShowMessage(Control, Text);
}

void FlashMessageAt(QObject* Control, const QString& Text) {
    CurrentUiHost().FlashMessage(Control, Text);
}

int AskQuestion(QObject* Control, const QString& Question, const QString& Caption1,
                const QString& Caption2, int DefaultButton) {
    return CurrentUiHost().AskQuestion(Control, Question, Caption1, Caption2, DefaultButton);
}

void ShowPlainMessage(const QString& Text) {
    CurrentUiHost().PlainMessage(Text);
}

void SetBusyCursor(bool Busy) {
    busyCursor = Busy;
    // Also once its dialogs have ended: the cursor must not stay an hourglass.
    (installedHost ? *installedHost : silentHost).SetBusyCursor(Busy);
}

bool BusyCursorShown() {
    return busyCursor;
}
