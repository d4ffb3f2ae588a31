// Building the main window: its controls at their places and its menu bar.

#include "app/Dump.h"

#include "common/StdFuncsMiscWindows.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace {

// The client area the controls are laid out in, in pixels.
constexpr int ClientWidth = 242;
constexpr int ClientHeight = 118;
// Distances kept from the client area's edges by the anchored controls.
constexpr int PB1RightGap = ClientWidth - (2 + 236);
constexpr int PB1BottomGap = ClientHeight - 79;
constexpr int SBarHeight = 20;
constexpr int StatusPanelWidth = 280;

template <class W> W* Place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A spin edit showing its value in upper-case hexadecimal ("1F").
class HexSpinBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int Value) const override { return QString::number(Value, 16).toUpper(); }
};

QSpinBox* HexSpinEdit(QWidget* parent) {
    auto* spin = new HexSpinBox(parent);
    spin->setDisplayIntegerBase(16);
    spin->setRange(0, 0x7F); // the handboxes have at most 128 pages
    spin->setValue(2);
    return spin;
}

// Widens each captioned control of a row (left to right) whose caption needs
// more room than the classic layout gives it, as with a fallback for MS Sans
// Serif wider than the original, and moves the controls after it right by as
// much, so no caption runs into its neighbour. Returns the row's right edge.
int FitRow(std::initializer_list<QWidget*> Row) {
    int shift = 0;
    int right = 0;
    for (QWidget* control : Row) {
        QRect place = control->geometry().translated(shift, 0);
        const bool captioned =
            qobject_cast<QAbstractButton*>(control) ||
            (qobject_cast<QLabel*>(control) && !qobject_cast<QLabel*>(control)->text().isEmpty());
        const QSize needed = control->sizeHint();
        if (captioned && needed.width() > place.width()) {
            shift += needed.width() - place.width();
            place.setWidth(needed.width());
        }
        // The rows are far enough apart for a caption a few pixels taller.
        if (captioned && needed.height() > place.height())
            place.setHeight(needed.height());
        control->setGeometry(place);
        right = std::max(right, place.right() + 1);
    }
    return right;
}

} // namespace

void TFHexvac::CreateControls() {
    setWindowTitle(QStringLiteral("Meade Memory Siphonex"));
    const QFont font = ClassicFont();
    setFont(font);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client_);

    Label1 = Place(new QLabel(QStringLiteral("Page"), client_), "Label1", 2, 5, 38, 16);
    Label1->setFont(ClassicFont(13, true));
    RxFrom = Place(HexSpinEdit(client_), "RxFrom", 46, 2, 43, 21);
    Label3 = Place(new QLabel(QStringLiteral("to"), client_), "Label3", 98, 5, 14, 16);
    Label3->setFont(ClassicFont(13, true));
    RxTo = Place(HexSpinEdit(client_), "RxTo", 123, 2, 46, 21);

    CBLowRam = Place(new QCheckBox(QStringLiteral("Include 0000-7FFF"), client_), "CBLowRam", 8, 32,
                     113, 17);
    CBLowOnly = Place(new QCheckBox(QStringLiteral("Only"), client_), "CBLowOnly", 120, 32, 45, 17);

    SBLoad = Place(new QToolButton(client_), "SBLoad", 12, 54, 69, 22);
    SBLoad->setText(QStringLiteral("Run"));
    SBLoad->setEnabled(false);

    Label4 = Place(new QLabel(client_), "Label4", 94, 55, 48, 20);
    Label4->setFont(ClassicFont(16));
    Label2 = Place(new QLabel(QStringLiteral("|"), client_), "Label2", 173, 56, 20, 20);
    Label2->setFont(ClassicFont(13));
    Label2->setFixedSize(20, 20);

    PB1 = Place(new QProgressBar(client_), "PB1", 2, 79, 236, 16);
    PB1->setRange(0, 100);
    PB1->setValue(0);
    PB1->setTextVisible(false);

    SBar = Place(new QStatusBar(client_), "SBar", 0, ClientHeight - SBarHeight, ClientWidth,
                 SBarHeight);
    SBar->setSizeGripEnabled(false);
    // Panel 0, wider than the bar itself; it shows the link status.
    SBarPanel0 = Place(new QLabel(SBar), "SBarPanel0", 0, 0, StatusPanelWidth, SBarHeight);
    connect(&statusPanel_, &TStatusPanel::TextChanged, this, [this] { ShowStatus(); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(false);
    connect(Timer1, &QTimer::timeout, this, &TFHexvac::Timer1Timer);

    connect(SBLoad, &QToolButton::clicked, this, &TFHexvac::SBLoadClick);
    connect(CBLowRam, &QCheckBox::toggled, this, &TFHexvac::CBLowRamClick);
    connect(CBLowOnly, &QCheckBox::toggled, this, &TFHexvac::CBLowOnlyClick);

    // A row fitted past the classic right edge of them all (the spinner's)
    // widens the window by as much, keeping the classic margin.
    const int classicRight = Label2->geometry().right() + 1;
    const int right = std::max({FitRow({Label1, RxFrom, Label3, RxTo}),
                                FitRow({CBLowRam, CBLowOnly}), FitRow({SBLoad, Label4, Label2})});
    const int width = ClientWidth + std::max(0, right - classicRight);
    SBar->setGeometry(0, ClientHeight - SBarHeight, width, SBarHeight);
    PB1->setGeometry(PB1->x(), PB1->y(), width - PB1->x() - PB1RightGap, PB1->height());

    CreateMenus();
    client_->installEventFilter(this);
    resize(width, ClientHeight + menuBar()->sizeHint().height());
}

bool TFHexvac::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == client_ && Event->type() == QEvent::Resize)
        AnchorToClientArea();
    return QMainWindow::eventFilter(Watched, Event);
}

void TFHexvac::AnchorToClientArea() {
    // PB1 is anchored left, right and bottom; the status bar sits at the bottom.
    const int w = client_->width();
    const int h = client_->height();
    PB1->setGeometry(PB1->x(), h - PB1BottomGap, w - PB1->x() - PB1RightGap, PB1->height());
    SBar->setGeometry(0, h - SBarHeight, w, SBarHeight);
}

void TFHexvac::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    // Tight items, so that all four top items fit the narrow window.
    bar->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 3px; }"));

    ScopeSources.setObjectName(QStringLiteral("ScopeSources"));
    ScopeSources.SetCaption(QStringLiteral("Scope Sources"));
    scopeSourcesMenu_ = bar->addMenu(ScopeSources.Caption());
    scopeSourcesMenu_->setObjectName(QStringLiteral("ScopeSources"));
    MirrorMenu(&ScopeSources, scopeSourcesMenu_);
    connect(scopeSourcesMenu_, &QMenu::aboutToShow, this, &TFHexvac::ScopeSourcesClick);

    QMenu* utilities = bar->addMenu(QStringLiteral("Scope Utilities"));
    utilities->setObjectName(QStringLiteral("Utilities1"));
    SetBaudRate1.setObjectName(QStringLiteral("SetBaudRate1"));
    SetBaudRate1.SetCaption(QStringLiteral("Set Baud Rate"));
    setBaudRateMenu_ = utilities->addMenu(SetBaudRate1.Caption());
    setBaudRateMenu_->setObjectName(QStringLiteral("SetBaudRate1"));
    MirrorMenu(&SetBaudRate1, setBaudRateMenu_);
    baudCheck_ = utilities->addAction(QStringLiteral("Baud Check"));
    baudCheck_->setObjectName(QStringLiteral("BaudCheck1"));
    connect(baudCheck_, &QAction::triggered, this, &TFHexvac::BaudCheck1Click);
    QAction* showLog = utilities->addAction(QStringLiteral("Show Log"));
    showLog->setObjectName(QStringLiteral("ShowLog1"));
    connect(showLog, &QAction::triggered, this, &TFHexvac::ShowLog1Click);

    QAction* about = bar->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, &TFHexvac::About1Click);

    // Closes through the same close query as the window's close box.
    QAction* exit = bar->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
}

void TFHexvac::MirrorMenu(TMenuItem* Data, QMenu* Menu) {
    auto rebuild = [Data, Menu] {
        Menu->clear();
        // Radio items are drawn as such, one checked at a time, when they
        // share an exclusive group; the group goes with the next rebuild.
        for (QActionGroup* old : Menu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly))
            delete old;
        auto* radios = new QActionGroup(Menu);
        radios->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        for (int i = 0; i < Data->Count(); ++i) {
            TMenuItem* item = Data->Item(i);
            if (item->IsSeparator()) {
                Menu->addSeparator();
                continue;
            }
            QAction* action = Menu->addAction(item->Caption());
            action->setEnabled(item->Enabled());
            action->setCheckable(item->RadioItem() || item->Checked());
            if (item->RadioItem())
                radios->addAction(action);
            action->setChecked(item->Checked());
            // The handler runs after the click has been delivered: it may
            // rebuild this very menu, which deletes the action.
            std::weak_ptr<TMenuItem> weak = item->weak_from_this();
            QPointer<QAction> shown(action);
            QObject::connect(action, &QAction::triggered, Menu, [weak, Menu, shown] {
                QTimer::singleShot(0, Menu, [weak, shown] {
                    auto target = weak.lock();
                    if (!target)
                        return;
                    target->Click();
                    // The item's state decides the mark, not the click: a
                    // rate the handbox refused stays unchecked.
                    if (shown)
                        shown->setChecked(target->Checked());
                });
            });
        }
    };
    connect(Data, &TMenuItem::Changed, Menu, rebuild);
    rebuild();
}
