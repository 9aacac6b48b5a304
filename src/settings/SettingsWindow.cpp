#include "settings/SettingsWindow.h"

#include "platform/ScreenReader.h"
#include "platform/SystemColours.h"
#include "settings/FittingScrollArea.h"
#include "settings/SectionLayout.h"
#include "settings/SettingsStore.h"
#include "ui/ScreenFollower.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

// The layout is laid down in twips; at 96 dpi fifteen of them make a pixel, and Qt scales the
// pixels on high-dpi screens.
constexpr QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

constexpr QRect kWindowRect = twips(0, 0, 14175, 9855);
constexpr int kSectionHeightTwips = 6015;
constexpr int kServicesHeightTwips = 8055;

const QColor kSavedGreen(0, 192, 0);
const QColor kNoteOrange(255, 128, 0);

const QString kLabel24Text = QStringLiteral("When a Cam, Device or Service is Down, Execute: (Ex. C:\\example.exe)");
const QString kLabel25Text = QStringLiteral("Pylvane checks every 17 minutes if devices/Cams and/or Services are UP. "
                                            "If a service/device/cam is Down then  saves into a logfile  the events.");

QFont boldFont(const QFont& base, int pointSize)
{
    QFont font = base;
    font.setPointSize(pointSize);
    font.setBold(true);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    widget->setPalette(pal);
}

} // namespace

SettingsWindow::SettingsWindow(SettingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), store_(store)
{
    setObjectName(QStringLiteral("SettingsWindow"));
    setWindowTitle(QStringLiteral("Pylvane"));
    setFixedSize(kWindowRect.size());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, applicationWorkspaceColour());
    setPalette(pal);
    setAutoFillBackground(true);
    // The sizes of the layout are made for 8-point text; larger text would be cut off in them.
    QFont text = font();
    text.setPointSize(8);
    setFont(text);

    // The controls keep their laid-down places on a content of the laid-down size, which scrolls
    // where the window has to be smaller.
    scroll_ = new FittingScrollArea(kWindowRect.size(), this);
    content_ = scroll_->content();
    content_->setObjectName(QStringLiteral("SettingsContent"));
    // A screen that changes, or another screen, gets the window fitted again where it is.
    screen_ = new ScreenFollower(*this);
    connect(screen_, &ScreenFollower::screenAreaChanged, this, &SettingsWindow::keepOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);

    buildControls();

    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &SettingsWindow::closeWithX);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            &SettingsWindow::save);

    // The middle of the screen is where the window shows first; after that it stays where it was.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        placeOn(screen->availableGeometry());
}

void SettingsWindow::placeOn(const QRect& available)
{
    setFixedSize(scroll_->sizeWithin(available.size()));

    const QPoint centred = available.center() - rect().center();
    move(std::max(centred.x(), available.left()), std::max(centred.y(), available.top()));
}

void SettingsWindow::keepOn(const QRect& available)
{
    setFixedSize(scroll_->sizeWithin(available.size()));
    // Where it was as far as the area allows, the top-left corner first.
    const QPoint at(std::min(x(), available.left() + available.width() - width()),
                    std::min(y(), available.top() + available.height() - height()));
    move(std::max(at.x(), available.left()), std::max(at.y(), available.top()));
}

void SettingsWindow::mousePressEvent(QMouseEvent* event)
{
    beginSystemMove();
    event->accept();
}

void SettingsWindow::beginSystemMove()
{
    if (QWindow* handle = windowHandle())
        handle->startSystemMove();
}

void SettingsWindow::keyPressEvent(QKeyEvent* event)
{
    // Outside dialogs buttons leave Enter alone; here it presses the focused one, as Space does.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && enter && plain) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    // A close from the window system (Alt+F4, the task bar) is the user's and does what "X" does;
    // the program's own close at its end goes through.
    if (event->spontaneous()) {
        event->ignore();
        closeWithX();
        return;
    }
    QWidget::closeEvent(event);
}

void SettingsWindow::announce(QWidget* source, const QString& text)
{
    announceToScreenReader(source, text);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::buildControls()
{
    auto* shape1 = new QFrame(content_);
    shape1->setObjectName(QStringLiteral("Shape1"));
    shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    shape1->setLineWidth(1);
    shape1->setGeometry(kWindowRect);
    shape1->setAttribute(Qt::WA_TransparentForMouseEvents);

    label26_ = new QLabel(QStringLiteral("SAVED!"), content_);
    label26_->setObjectName(QStringLiteral("Label26"));
    label26_->setGeometry(twips(480, 120, 1215, 375));
    label26_->setFont(boldFont(font(), 12));
    setTextColour(label26_, kSavedGreen);
    label26_->hide();

    const auto makeButton = [this](const char* name, const QString& caption, const QRect& rect) {
        auto* button = new QPushButton(caption, content_);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(rect);
        return button;
    };
    QPushButton* camb = makeButton("camb", QStringLiteral("Cams"), twips(2040, 240, 1575, 495));
    QPushButton* servb = makeButton("servb", QStringLiteral("Services"), twips(3960, 240, 1575, 495));
    QPushButton* devb = makeButton("devb", QStringLiteral("Devices"), twips(5880, 240, 1575, 495));
    QPushButton* x = makeButton("x", QStringLiteral("X"), twips(13320, 120, 615, 375));
    x->setFont(boldFont(font(), 18));

    camsFrame_ = buildSection(QStringLiteral("IP Cams"), kSectionHeightTwips, Section::Cams);
    servicesFrame_ = buildSection(QStringLiteral("Services and Apps"), kServicesHeightTwips, Section::Services);
    devicesFrame_ = buildSection(QStringLiteral("Devices"), kSectionHeightTwips, Section::Devices);
    camsFrame_->setObjectName(QStringLiteral("camsFrame"));
    servicesFrame_->setObjectName(QStringLiteral("servicesFrame"));
    devicesFrame_->setObjectName(QStringLiteral("devicesFrame"));
    servicesFrame_->hide();
    devicesFrame_->hide();

    // "Save" lies inside the rectangle of the tall "Services and Apps" section; it stays on top so
    // that it can be pressed whichever section shows.
    svcAM_ = makeButton("svcAM", QStringLiteral("Save"), twips(10920, 7800, 1935, 495));
    svcAM_->raise();

    auto* label24 = new QLabel(kLabel24Text, content_);
    label24->setObjectName(QStringLiteral("Label24"));
    label24->setGeometry(twips(480, 9240, 5895, 255));
    setTextColour(label24, palette().color(QPalette::Highlight));

    errun_ = new QLineEdit(content_);
    errun_->setObjectName(QStringLiteral("errun"));
    errun_->setGeometry(twips(480, 9480, 5895, 285));
    // The field is named after the hint above it.
    label24->setBuddy(errun_);

    auto* label25 = new QLabel(kLabel25Text, content_);
    label25->setObjectName(QStringLiteral("Label25"));
    label25->setGeometry(twips(6960, 9240, 6975, 495));
    label25->setWordWrap(true);
    label25->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label25, kNoteOrange);

    connect(camb, &QPushButton::clicked, this, [this] { showSection(Section::Cams); });
    connect(servb, &QPushButton::clicked, this, [this] { showSection(Section::Services); });
    connect(devb, &QPushButton::clicked, this, [this] { showSection(Section::Devices); });
    connect(svcAM_, &QPushButton::clicked, this, &SettingsWindow::save);
    connect(x, &QPushButton::clicked, this, &SettingsWindow::closeWithX);

    setTabOrderOfControls({camb, servb, devb}, {errun_, svcAM_, x});
}

void SettingsWindow::setTabOrderOfControls(const QList<QWidget*>& before, const QList<QWidget*>& after)
{
    // Tab skips the hidden sections by itself.
    QList<QWidget*> order = before;
    for (const Rows* rows : {&cams_, &processes_, &devices_}) {
        for (qsizetype i = 0; i < rows->texts.size(); ++i)
            order << rows->texts[i] << rows->checks[i];
    }
    order << after;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

QGroupBox* SettingsWindow::buildSection(const QString& title, int heightTwips, Section section)
{
    const SectionLayout layout = layoutOf(section);
    Rows& rows = section == Section::Cams ? cams_ : section == Section::Services ? processes_ : devices_;

    auto* frame = new QGroupBox(title, content_);
    frame->setGeometry(twips(480, 840, 12855, heightTwips));

    auto* picture = new QLabel(frame);
    picture->setObjectName(QLatin1String(layout.picture));
    picture->setGeometry(twips(10680, 360, 1935, 1935));
    // Without the artwork the box just stays empty.
    screen_->showArtwork(picture, QLatin1String(layout.pictureResource));

    for (int n = 1; n <= layout.rows; ++n) {
        const int top = 720 + 480 * (n - 1);
        const int number = layout.firstNumber + n - 1;

        auto* label = new QLabel(QString::fromLatin1(layout.rowLabel).arg(n), frame);
        label->setObjectName(frame->title().remove(u' ') + QStringLiteral("Row%1").arg(n));
        label->setGeometry(twips(240, top, 975, 255));

        auto* text = new QLineEdit(frame);
        text->setObjectName(QString::fromLatin1(layout.textName).arg(number));
        text->setGeometry(twips(layout.textLeft, top, 3015, 285));
        rows.texts << text;

        auto* check = new QCheckBox(QStringLiteral("ON"), frame);
        check->setObjectName(QString::fromLatin1(layout.checkName).arg(number));
        check->setGeometry(twips(layout.checkLeft, top, 735, 255));
        rows.checks << check;

        // Screen readers tell the rows apart by the target; the box keeps its caption "ON".
        const QString target = QString::fromLatin1(layout.targetName).arg(n);
        label->setBuddy(text);
        text->setAccessibleName(target);
        text->setAccessibleDescription(QLatin1String(layout.textDescription));
        check->setAccessibleName(target + QStringLiteral(" ON"));
    }
    return frame;
}

void SettingsWindow::showSection(Section section)
{
    camsFrame_->setVisible(section == Section::Cams);
    servicesFrame_->setVisible(section == Section::Services);
    devicesFrame_->setVisible(section == Section::Devices);
}

SettingsWindow::Section SettingsWindow::visibleSection() const
{
    if (!servicesFrame_->isHidden())
        return Section::Services;
    if (!devicesFrame_->isHidden())
        return Section::Devices;
    return Section::Cams;
}

void SettingsWindow::hideSavedLabel()
{
    label26_->hide();
}

void SettingsWindow::loadTexts(QChar group, const QList<QLineEdit*>& fields)
{
    // The whole group is read before any of its fields is filled.
    QStringList texts;
    for (qsizetype n = 1; n <= fields.size(); ++n)
        texts << store_.ReadSetting(SettingsStore::kKeyPath, group + QString::number(n)).value_or(QString());
    for (qsizetype i = 0; i < fields.size(); ++i)
        fields[i]->setText(texts[i]);
}

void SettingsWindow::loadEnables(QChar group, const QList<QCheckBox*>& boxes)
{
    QStringList texts;
    for (qsizetype n = 1; n <= boxes.size(); ++n)
        texts << store_.ReadSetting(SettingsStore::kKeyPath, group + QString::number(n) + u'b').value_or(QString());
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        if (SettingsStore::isTickText(texts[i]))
            boxes[i]->setCheckState(Qt::Checked);
    }
}

void SettingsWindow::loadFields()
{
    errun_->setText(store_.ReadSetting(SettingsStore::kKeyPath, QStringLiteral("a1")).value_or(QString()));
    loadTexts(u'c', cams_.texts);
    loadEnables(u'c', cams_.checks);
    loadTexts(u'd', processes_.texts);
    loadEnables(u'd', processes_.checks);
    loadTexts(u'e', devices_.texts);
    loadEnables(u'e', devices_.checks);
}

void SettingsWindow::save()
{
    QList<SettingsStore::Value> values{{QStringLiteral("a1"), errun_->text()}};
    const auto addGroup = [&values](QChar group, const Rows& rows) {
        for (qsizetype i = 0; i < rows.texts.size(); ++i)
            values.append({group + QString::number(i + 1), rows.texts[i]->text()});
        for (qsizetype i = 0; i < rows.checks.size(); ++i) {
            const bool ticked = rows.checks[i]->checkState() == Qt::Checked;
            values.append({group + QString::number(i + 1) + u'b', SettingsStore::enableText(ticked)});
        }
    };
    addGroup(u'c', cams_);
    addGroup(u'd', processes_);
    addGroup(u'e', devices_);

    // A save that could not be written ends here without a word; "SAVED!" is the only feedback.
    if (store_.WriteSettings(values)) {
        label26_->show();
        announce(label26_, label26_->text());
    } else {
        emit saveFailed();
    }
}

void SettingsWindow::closeWithX()
{
    hide();
    emit closedWithX();
}

const SettingsWindow::Rows* SettingsWindow::rowsOf(TargetKind kind) const
{
    switch (kind) {
    case TargetKind::Device:
        return &devices_;
    case TargetKind::Cam:
        return &cams_;
    case TargetKind::Process:
        return &processes_;
    }
    return nullptr;
}

int SettingsWindow::enableValue(TargetKind kind, int number) const
{
    const Rows* rows = rowsOf(kind);
    if (!rows || number < 1 || number > rows->checks.size())
        return Unticked;
    switch (rows->checks[number - 1]->checkState()) {
    case Qt::Checked:
        return Ticked;
    case Qt::PartiallyChecked:
        return Grayed;
    case Qt::Unchecked:
        break;
    }
    return Unticked;
}

QString SettingsWindow::targetText(TargetKind kind, int number) const
{
    const Rows* rows = rowsOf(kind);
    if (!rows || number < 1 || number > rows->texts.size())
        return {};
    return rows->texts[number - 1]->text();
}

QString SettingsWindow::failureCommand() const
{
    return errun_->text();
}
