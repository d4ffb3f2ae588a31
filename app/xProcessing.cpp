#include "app/xProcessing.h"

#include "common/StdFuncsMiscWindows.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

namespace {

constexpr int ClientWidth = 329;
constexpr int ClientHeight = 123;
constexpr int LabelWidth = 289;
constexpr int LabelHeight = 16;

template <class W> W* Place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

} // namespace

TFProcbox::TFProcbox(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::WindowStaysOnTopHint) {
    FormCreate();
}

void TFProcbox::FormCreate() {
    setObjectName(QStringLiteral("FProcbox"));
    setWindowTitle(QStringLiteral("Processing Report"));
    setFont(ClassicFont());
    setFixedSize(ClientWidth, ClientHeight);

    Panel1 = Place(new QFrame(this), "Panel1", 8, 8, 313, 81);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Label1 = Place(new QLabel(Panel1), "Label1", 16, 8, LabelWidth, LabelHeight);
    Label2 = Place(new QLabel(Panel1), "Label2", 16, 32, LabelWidth, LabelHeight);
    PBProcess = Place(new QProgressBar(Panel1), "PBProcess", 8, 56, 297, 16);
    PBProcess->setRange(0, 100);
    PBProcess->setValue(0);
    PBProcess->setTextVisible(false);

    BCancel = Place(new QPushButton(QStringLiteral("&Cancel"), this), "BCancel", 120, 96, 75, 25);
    BCancel->setAutoDefault(false);
    BCancel->setEnabled(false);
    connect(BCancel, &QPushButton::clicked, this, &TFProcbox::BCancelClick);
}

void TFProcbox::FormShow() {
    Label1->clear();
    Label2->clear();
    PBProcess->setMinimum(0);
    PBProcess->setValue(0);
    if (parentWidget())
        PlaceNearControl(parentWidget(), this);
    // Up out of the way of the window it reports on.
    move(x(), y() / 2);
}

bool TFProcbox::FormCloseQuery() const {
    return BCancel->isEnabled();
}

void TFProcbox::BCancelClick() {
    close();
}

void TFProcbox::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    // A window restored by the user is not shown anew: its lines stay.
    if (!Event->spontaneous())
        FormShow();
}

void TFProcbox::closeEvent(QCloseEvent* Event) {
    if (FormCloseQuery())
        Event->accept();
    else
        Event->ignore();
}

void TFProcbox::reject() {
    if (FormCloseQuery())
        BCancel->click();
}

void TFProcbox::SetCaption(const QString& Caption) {
    setWindowTitle(Caption);
}

void TFProcbox::SetLabel1(const QString& Text) {
    Label1->setText(Text);
}

void TFProcbox::SetLabel2(const QString& Text) {
    Label2->setText(Text);
}

void TFProcbox::SetProgress(int Minimum, int Maximum, int Position) {
    PBProcess->setRange(Minimum, Maximum);
    PBProcess->setValue(Position);
}

void TFProcbox::Show() {
    show();
}

void TFProcbox::EnableCancel() {
    BCancel->setEnabled(true);
}

void TFProcbox::Close() {
    close();
}
