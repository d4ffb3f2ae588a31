#include "app/AppUiHost.h"

#include "app/xProcessing.h"
#include "diag/xMemoForm.h"
#include "link/StdDefs.h"

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>

namespace {

// Owns a processing window whose owner window may go first: the box then
// forwards nothing and deletes nothing twice.
class ProcboxHandle final : public TProcessingBox {
public:
    explicit ProcboxHandle(QWidget* Owner)
        : box_(new TFProcbox(Owner)) {}
    ~ProcboxHandle() override { delete box_.data(); }

    void SetCaption(const QString& Caption) override {
        if (box_)
            box_->SetCaption(Caption);
    }
    void SetLabel1(const QString& Text) override {
        if (box_)
            box_->SetLabel1(Text);
    }
    void SetLabel2(const QString& Text) override {
        if (box_)
            box_->SetLabel2(Text);
    }
    void SetProgress(int Minimum, int Maximum, int Position) override {
        if (box_)
            box_->SetProgress(Minimum, Maximum, Position);
    }
    void Show() override {
        if (box_)
            box_->Show();
    }
    void EnableCancel() override {
        if (box_)
            box_->EnableCancel();
    }
    void Close() override {
        if (box_)
            box_->Close();
    }

private:
    QPointer<TFProcbox> box_;
};

} // namespace

std::unique_ptr<TProcessingBox> TAppUiHost::CreateProcessingBox(QObject* Control) {
    QWidget* owner = qobject_cast<QWidget*>(Control);
    return std::make_unique<ProcboxHandle>(owner ? owner->window() : nullptr);
}

void TAppUiHost::ShowReportWindow(QObject* Control, const QString& Caption,
                                  const TReportTable& Table) {
    QWidget* control = qobject_cast<QWidget*>(Control);
    QWidget* owner = control ? control->window() : QApplication::activeWindow();
    // Owned by the main window, so it goes with it; otherwise it frees
    // itself when closed.
    QPointer<TMemoForm> form = new TMemoForm(owner);
    form->setWindowTitle(Caption);
    form->SetTempFolder(LinkState.AppDir);
    form->ShowView(TMemoForm::TableView);
    form->SetRedOnBlack(false);
    form->FillTable(Table);

    // Modal to the whole program, as the menu command that opened it expects
    // to continue only once the report is closed; the wait sleeps in a local
    // event loop until the window is gone.
    QEventLoop wait;
    QObject::connect(form, &QObject::destroyed, &wait, &QEventLoop::quit);
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    if (form)
        wait.exec();
}

void TAppUiHost::ShowLogWindow(QObject* Control, const QString& Caption, const QStringList& Lines) {
    QWidget* control = qobject_cast<QWidget*>(Control);
    QWidget* owner = control ? control->window() : QApplication::activeWindow();
    // Not modal: a run or a search goes on while the user reads, and the
    // window frees itself when closed (or goes with its owner).
    auto* form = new TMemoForm(owner);
    form->setWindowTitle(Caption);
    form->SetTempFolder(LinkState.AppDir);
    form->ShowView(TMemoForm::TextView);
    form->SetRedOnBlack(false);
    form->Memo1->setPlainText(Lines.join(QLatin1Char('\n')));
    form->show();
    // The latest lines are the ones a "refer log" message is about: the
    // view opens at the last line, at its start, where its time and type are.
    form->Memo1->moveCursor(QTextCursor::End);
    form->Memo1->moveCursor(QTextCursor::StartOfLine);
    form->Memo1->ensureCursorVisible();
}
