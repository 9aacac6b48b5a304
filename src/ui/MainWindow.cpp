#include "ui/MainWindow.h"

#include "eventlog/EventLog.h"
#include "monitor/TargetProbes.h"
#include "platform/Platform.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
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
      cycle_(*this, probes, log, platform, schedule_.Timer1())
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(kCaption);
    setFixedSize(kClientSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::HighlightedText));
    setPalette(pal);
    setAutoFillBackground(true);

    const auto makeLamp = [this](const char* name, const char* resource) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(kLampRect);
        label->setPixmap(QPixmap(QLatin1String(resource)));
        label->installEventFilter(this);
        return label;
    };
    image3_ = makeLamp("Image3", ":/lamps/grey.png");
    image1_ = makeLamp("Image1", ":/lamps/green.png");
    image2_ = makeLamp("Image2", ":/lamps/red.png");
    image1_->hide();
    image2_->hide();

    command1_ = new QPushButton(QStringLiteral("Open Log"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(kOpenLogRect);
    settingsButton_ = new QPushButton(QStringLiteral("Settings"), this);
    settingsButton_->setObjectName(QStringLiteral("SettingsButton"));
    settingsButton_->setGeometry(kSettingsRect);
    setTabOrder(command1_, settingsButton_);

    label1_ = new QLabel(QStringLiteral("?"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(kAboutRect);
    QFont bold = label1_->font();
    bold.setPointSize(12);
    bold.setBold(true);
    label1_->setFont(bold);
    label1_->setAutoFillBackground(true);
    label1_->setBackgroundRole(QPalette::Button);
    label1_->setForegroundRole(QPalette::ButtonText);
    label1_->installEventFilter(this);

    connect(command1_, &QPushButton::clicked, this, [this] { log_.OpenLog(); });
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
}

int MainWindow::ExeExists(const QString& name)
{
    return probes_.ExeExists(name) != 0 ? -1 : 0;
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

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (loaded_)
        return;
    loaded_ = true;
    schedule_.load();
    command1_->setFocus();
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
    const bool ownControl = watched == label1_ || watched == image1_ || watched == image2_ || watched == image3_;
    if (!ownControl)
        return QWidget::eventFilter(watched, event);
    // Presses on "?" and on the lamp are theirs, not the background's: a move started there would
    // take the mouse away before "?" sees its click.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        if (watched == label1_)
            aboutPressed_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        return true;
    }
    if (watched == label1_ && event->type() == QEvent::MouseButtonRelease) {
        // The label keeps the mouse from its press on, so a release away from it comes here too.
        const auto* release = static_cast<QMouseEvent*>(event);
        const bool click = aboutPressed_ && release->button() == Qt::LeftButton &&
                           label1_->rect().contains(release->position().toPoint());
        aboutPressed_ = false;
        if (click)
            showAbout();
        return true;
    }
    return false;
}

void MainWindow::showAbout()
{
    platform_.messageBox(kAboutText, kCaption, Platform::MessageIcon::None);
}
