#include "ui/MainWindow.h"

#include "eventlog/EventLog.h"
#include "monitor/TargetProbes.h"
#include "platform/Platform.h"
#include "ui/AboutLabel.h"
#include "ui/LogOpenFailureBox.h"
#include "ui/ScreenFollower.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTime>
#include <QWindow>

namespace {

// Layout in pixels at 96 dpi; Qt scales it on high-dpi screens.
constexpr QRect kLampRect(8, 8, 54, 54);
constexpr QRect kOpenLogRect(80, 16, 73, 41);
constexpr QRect kSettingsRect(192, 16, 73, 41);
constexpr QRect kAboutRect(288, 0, 9, 17);
constexpr QSize kClientSize(301, 79);

const QString kCaption = QStringLiteral("Pylvane");
const QString kAboutText = QStringLiteral("Pylvane, the workstation watchdog, written by the Pylvane developers.");

} // namespace

MainWindow::MainWindow(Platform& platform, TargetProbes& probes, EventLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinimizeButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      platform_(platform), probes_(probes), log_(log), schedule_(this),
      cycle_(*this, probes, log, platform, schedule_.Timer1()),
      logOpenFailure_(std::make_unique<LogOpenFailureBox>(this))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    // The lamp tells what is down on hover, also while another window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFixedSize(kClientSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::HighlightedText));
    setPalette(pal);
    setAutoFillBackground(true);

    auto* screen = new ScreenFollower(*this);
    const auto makeLamp = [this, screen](const char* name, Picture picture) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(kLampRect);
        screen->showArtwork(label, lampResource(picture));
        label->installEventFilter(this);
        return label;
    };
    image3_ = makeLamp("Image3", Image3);
    image1_ = makeLamp("Image1", Image1);
    image2_ = makeLamp("Image2", Image2);
    image1_->hide();
    image2_->hide();

    command1_ = new QPushButton(QStringLiteral("Open Log"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(kOpenLogRect);
    settingsButton_ = new QPushButton(QStringLiteral("Settings"), this);
    settingsButton_->setObjectName(QStringLiteral("SettingsButton"));
    settingsButton_->setGeometry(kSettingsRect);

    label1_ = new AboutLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(kAboutRect);
    QFont bold = label1_->font();
    bold.setPointSize(12);
    bold.setBold(true);
    label1_->setFont(bold);
    label1_->setAutoFillBackground(true);
    label1_->setBackgroundRole(QPalette::Button);
    label1_->setForegroundRole(QPalette::ButtonText);
    setTabOrder(command1_, settingsButton_);
    setTabOrder(settingsButton_, label1_);

    connect(label1_, &AboutLabel::activated, this, &MainWindow::showAbout);
    new QShortcut(QKeySequence(Qt::Key_F1), this, this, &MainWindow::showAbout);
    connect(command1_, &QPushButton::clicked, this, &MainWindow::openLog);
    connect(settingsButton_, &QPushButton::clicked, this, &MainWindow::settingsRequested);
    connect(&schedule_.Timer1(), &QTimer::timeout, this, [this] { cycle_.run(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::setTargetFields(TargetFields* fields)
{
    cycle_.setFields(fields);
}

void MainWindow::presetTickCounter()
{
    schedule_.preset();
    cycle_.wholeCycleAsked();
}

int MainWindow::ExeExists(const QString& name)
{
    return probes_.ExeExists(name).value_or(0) != 0 ? -1 : 0;
}

QLabel* MainWindow::lamp(Picture picture) const
{
    switch (picture) {
    case Image1:
        return image1_;
    case Image2:
        return image2_;
    case Image3:
        return image3_;
    }
    return image3_;
}

void MainWindow::setPictureVisible(Picture picture, bool visible)
{
    lamp(picture)->setVisible(visible);
}

bool MainWindow::isPictureVisible(Picture picture) const
{
    // Whether the picture itself is set to show, even while the window is minimised or hidden.
    return !lamp(picture)->isHidden();
}

QString MainWindow::lampResource(Picture picture)
{
    switch (picture) {
    case Image1:
        return QStringLiteral(":/lamps/green.png");
    case Image2:
        return QStringLiteral(":/lamps/red.png");
    case Image3:
        break;
    }
    return QStringLiteral(":/lamps/grey.png");
}

StatusLamp::Picture MainWindow::shownPicture() const
{
    for (Picture picture : {Image1, Image2})
        if (isPictureVisible(picture))
            return picture;
    return Image3;
}

QString MainWindow::lampToolTip() const
{
    return lampStatus_.toolTip();
}

void MainWindow::cycleStarted()
{
    lampStatus_.checking();
    showLampInWords();
}

void MainWindow::cycleEnded(const CycleReport& report)
{
    // A target found down once is looked at again by the next cycle, brought forward as "X" brings it.
    if (report.anyConfirming())
        schedule_.preset();
    lampStatus_.ended(report, platform_.timeText());
    showLampInWords();
    emit cycleReported(report);
}

void MainWindow::showLampInWords()
{
    // All three pictures carry the words, whichever shows; setting them tells assistive technology of the change.
    for (QLabel* lamp : {image1_, image2_, image3_}) {
        lamp->setToolTip(lampStatus_.toolTip());
        lamp->setAccessibleName(lampStatus_.name());
        lamp->setAccessibleDescription(lampStatus_.description());
    }
    emit lampChanged();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (loaded_)
        return;
    loaded_ = true;
    schedule_.load();
    // The first tick arms the cycle timer, which runs the first cycle one interval later.
    const int firstCheckSeconds = 2 * CheckSchedule::kIntervalMs / 1000;
    lampStatus_.waitForFirstCheck(QTime::currentTime().addSecs(firstCheckSeconds).toString(QStringLiteral("hh:mm:ss")));
    showLampInWords();
    command1_->setFocus();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Enter presses the button that has the focus, as Space does; the buttons pass it on to the window.
    // A held key repeats about 20 times a second; a repeat presses nothing, or "Open Log" would start an editor
    // with each.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (focusWidget() == command1_ || focusWidget() == settingsButton_)) {
        if (!event->isAutoRepeat())
            static_cast<QPushButton*>(focusWidget())->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::openLog()
{
    // The opener may fail after this window is gone, as the program ends.
    const auto failed = [window = QPointer<MainWindow>(this)] {
        if (window)
            window->logOpenFailure_->show(window->log_.logFilePath());
    };
    if (!log_.OpenLog(failed))
        failed();
}

void MainWindow::setLogOpenFailure(std::unique_ptr<LogOpenFailure> failure)
{
    logOpenFailure_ = std::move(failure);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closing();
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    // Any button on the background moves the window, as a press on its title bar would.
    beginSystemMove();
    event->accept();
}

void MainWindow::beginSystemMove()
{
    if (QWindow* handle = windowHandle())
        handle->startSystemMove();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const bool lamp = watched == image1_ || watched == image2_ || watched == image3_;
    if (!lamp)
        return QWidget::eventFilter(watched, event);
    // Presses on the lamp are its own, not the background's, as those on "?" are.
    return event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
}

void MainWindow::showAbout()
{
    platform_.messageBox(kAboutText, kCaption, Platform::MessageIcon::None);
}
