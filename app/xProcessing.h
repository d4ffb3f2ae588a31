#pragma once
// The processing window: a small stay-on-top window with two status lines
// and a progress bar, shown while port selection searches and the baud test
// tries rates. Its owner creates it, shows it without waiting, writes into
// it, enables Cancel and closes it at the end; until Cancel is enabled the
// user cannot close it.

#include "common/ProcessingBox.h"

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

class TFProcbox : public QDialog, public TProcessingBox {
    Q_OBJECT
public:
    explicit TFProcbox(QWidget* Owner = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* PBProcess = nullptr;
    QPushButton* BCancel = nullptr;

    // What the owner drives, through the core's view of this window.
    void SetCaption(const QString& Caption) override;
    void SetLabel1(const QString& Text) override;
    void SetLabel2(const QString& Text) override;
    void SetProgress(int Minimum, int Maximum, int Position) override;
    void Show() override;
    void EnableCancel() override;
    void Close() override;

public slots:
    // Escape and the dialog's own rejection go through the same query as the
    // close box: a window whose Cancel is disabled stays.
    void reject() override;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    void FormShow();
    bool FormCloseQuery() const;
    void BCancelClick();
};
