#include "support/SettingsPlace.h"

#include "settings/SettingsStore.h"
#include "settings/SettingsWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kKey = SettingsStore::kKeyPath;

// Counts the moves and records the announcements it is asked for instead of handing them on.
class CountingSettingsWindow : public SettingsWindow {
public:
    using SettingsWindow::SettingsWindow;
    int moves = 0;
    QStringList announced;

protected:
    void beginSystemMove() override { ++moves; }
    void announce(QWidget* source, const QString& text) override { announced << source->objectName() + u' ' + text; }
};

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override { makeWindow(); }

    void makeWindow()
    {
        window = std::make_unique<CountingSettingsWindow>(store);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename T> T* find(const QString& name) const
    {
        T* child = window->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name.toStdString();
        return child;
    }
    QLineEdit* text(const QString& name) const { return find<QLineEdit>(name); }
    QString accessibleName(QObject* object) const
    {
        return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
    }
    QCheckBox* box(const QString& name) const { return find<QCheckBox>(name); }
    void click(const QString& name) const { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    bool shown(const QString& name) const { return !find<QWidget>(name)->isHidden(); }
    bool savedShown() const { return shown(QStringLiteral("Label26")); }

    // The 35 text boxes and the failure command, by their value names.
    static QString fieldOf(const QString& valueName)
    {
        const QChar group = valueName[0];
        const int n = valueName.mid(1).remove(u'b').toInt();
        const bool enable = valueName.endsWith(u'b');
        if (group == u'a')
            return QStringLiteral("errun");
        if (group == u'c')
            return (enable ? QStringLiteral("x%1") : QStringLiteral("cc%1")).arg(n);
        if (group == u'd')
            return (enable ? QStringLiteral("Check%1") : QStringLiteral("Text%1")).arg(n);
        return (enable ? QStringLiteral("Check%1") : QStringLiteral("Text%1")).arg(n + 15);
    }

    SettingsPlace place;
    SettingsStore store{place.location()};
    std::unique_ptr<CountingSettingsWindow> window;
};

TEST_F(SettingsWindowTest, HasTheLaidDownWindowAndControls)
{
    EXPECT_EQ(find<QWidget>(QStringLiteral("SettingsContent"))->size(), QSize(945, 657));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Pylvane"));
    EXPECT_EQ(window->objectName(), QStringLiteral("SettingsWindow"));

    const struct {
        const char* name;
        QRect rect;
    } placed[] = {
        {"Shape1", {0, 0, 945, 657}},         {"Label26", {32, 8, 81, 25}},
        {"camb", {136, 16, 105, 33}},         {"servb", {264, 16, 105, 33}},
        {"devb", {392, 16, 105, 33}},         {"x", {888, 8, 41, 25}},
        {"camsFrame", {32, 56, 857, 401}},    {"servicesFrame", {32, 56, 857, 537}},
        {"devicesFrame", {32, 56, 857, 401}}, {"svcAM", {728, 520, 129, 33}},
        {"Label24", {32, 616, 393, 17}},      {"errun", {32, 632, 393, 19}},
        {"Label25", {464, 616, 465, 33}},     {"Picture1", {712, 24, 129, 129}},
        {"Picture2", {712, 24, 129, 129}},    {"Picture3", {712, 24, 129, 129}},
        {"cc1", {88, 48, 201, 19}},           {"x1", {296, 48, 49, 17}},
        {"cc10", {88, 336, 201, 19}},         {"x10", {296, 336, 49, 17}},
        {"Text1", {48, 48, 201, 19}},         {"Check1", {256, 48, 49, 17}},
        {"Text15", {48, 496, 201, 19}},       {"Check15", {256, 496, 49, 17}},
        {"Text16", {56, 48, 201, 19}},        {"Check16", {264, 48, 49, 17}},
        {"Text25", {56, 336, 201, 19}},       {"Check25", {264, 336, 49, 17}},
    };
    for (const auto& [name, rect] : placed)
        EXPECT_EQ(find<QWidget>(QLatin1String(name))->geometry(), rect) << name;

    EXPECT_EQ(find<QGroupBox>(QStringLiteral("camsFrame"))->title(), QStringLiteral("IP Cams"));
    EXPECT_EQ(find<QGroupBox>(QStringLiteral("servicesFrame"))->title(), QStringLiteral("Services and Apps"));
    EXPECT_EQ(find<QGroupBox>(QStringLiteral("devicesFrame"))->title(), QStringLiteral("Devices"));
    const struct {
        const char* name;
        const char* caption;
    } captions[] = {{"camb", "Cams"}, {"servb", "Services"}, {"devb", "Devices"}, {"x", "X"}, {"svcAM", "Save"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(find<QPushButton>(QLatin1String(name))->text(), QLatin1String(caption)) << name;
    EXPECT_EQ(find<QLabel>(QStringLiteral("Label26"))->text(), QStringLiteral("SAVED!"));
    EXPECT_EQ(find<QLabel>(QStringLiteral("Label24"))->text(),
              QStringLiteral("When a Cam, Device or Service is Down, Execute: (Ex. C:\\example.exe)"));
    EXPECT_EQ(find<QLabel>(QStringLiteral("Label25"))->text(),
              QStringLiteral("Pylvane checks every 17 minutes if devices/Cams and/or Services are UP. If a "
                             "service/device/cam is Down then  saves into a logfile  the events."));

    const QLabel* saved = find<QLabel>(QStringLiteral("Label26"));
    EXPECT_TRUE(saved->font().bold());
    EXPECT_EQ(saved->font().pointSize(), 12);
    EXPECT_EQ(saved->palette().color(QPalette::WindowText), QColor(0, 192, 0));
    EXPECT_EQ(find<QLabel>(QStringLiteral("Label25"))->palette().color(QPalette::WindowText), QColor(255, 128, 0));
    EXPECT_TRUE(find<QPushButton>(QStringLiteral("x"))->font().bold());
    EXPECT_EQ(find<QPushButton>(QStringLiteral("x"))->font().pointSize(), 18);

    // Every section row has its label, box and "ON" box; the pictures hold the 128-pixel artwork.
    for (int n = 1; n <= 25; ++n)
        EXPECT_EQ(box(QStringLiteral("Check%1").arg(n))->text(), QStringLiteral("ON"));
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(box(QStringLiteral("x%1").arg(n))->text(), QStringLiteral("ON"));
    QStringList rowLabels;
    for (const QLabel* label : find<QGroupBox>(QStringLiteral("servicesFrame"))->findChildren<QLabel*>())
        rowLabels << label->text();
    EXPECT_TRUE(rowLabels.contains(QStringLiteral(" 15 :")));
    EXPECT_TRUE(find<QGroupBox>(QStringLiteral("camsFrame"))->findChild<QLabel*>(QStringLiteral("IPCamsRow10")));
    for (const char* name : {"Picture1", "Picture2", "Picture3"})
        EXPECT_EQ(find<QLabel>(QLatin1String(name))->pixmap().size(), QSize(128, 128)) << name;
}

// The window is wider than the test screen; it is laid out for 96 dpi and larger than many laptop
// screens at 125 % and more.
TEST_F(SettingsWindowTest, StaysWithinReachOnSmallScreensAndMovesByItsBackground)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(screen.width(), 945);
    EXPECT_TRUE(screen.contains(window->geometry()));
    window->placeOn({0, 0, 1024, 600});
    EXPECT_EQ(window->geometry(), QRect((1024 - window->width()) / 2, 0, window->width(), 600));
    window->placeOn({1920, 100, 1920, 1080});
    EXPECT_EQ(window->geometry(), QRect(2407, 311, 945, 657));

    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton})
        QTest::mousePress(window.get(), button, {}, QPoint(600, 20));
    QTest::mousePress(find<QGroupBox>(QStringLiteral("camsFrame")), Qt::LeftButton, {}, QPoint(500, 300));
    EXPECT_EQ(window->moves, 3);
    click(QStringLiteral("devb"));
    EXPECT_EQ(window->moves, 3) << "controls keep their presses";
    EXPECT_EQ(window->visibleSection(), SettingsWindow::Section::Devices);
}

// Taken to another screen, or left on one whose area changes (a new resolution, a screen unplugged), the window is
// fitted again where it is, and its pictures are drawn again for the scale. Needs two screens, the second one
// scaled twice (the ctest entry ...OnTwoScreens gives them).
TEST_F(SettingsWindowTest, FitsAgainAndRedrawsItsPicturesWhenItsScreenChanges)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() != 2 || screens[1]->devicePixelRatio() != 2)
        GTEST_SKIP() << "needs a second screen at twice the scale (two-screens.json)";
    QScreen* desk = screens[0];
    QScreen* laptop = screens[1];
    const auto pictureRatio = [this] { return find<QLabel>(QStringLiteral("Picture1"))->pixmap().devicePixelRatio(); };
    ASSERT_EQ(window->screen(), desk);
    ASSERT_EQ(window->size(), QSize(945, 657));
    EXPECT_EQ(pictureRatio(), 1);

    window->windowHandle()->setScreen(laptop);
    EXPECT_TRUE(laptop->availableGeometry().contains(window->geometry())) << "off the screen it went to";
    EXPECT_EQ(window->size(), laptop->availableGeometry().size()) << "smaller, it scrolls";
    EXPECT_EQ(pictureRatio(), 2);

    window->windowHandle()->setScreen(desk);
    EXPECT_EQ(window->size(), QSize(945, 657));
    EXPECT_TRUE(desk->availableGeometry().contains(window->geometry()));
    EXPECT_EQ(pictureRatio(), 1);

    // Left where the area no longer reaches, it comes back onto what is left, keeping its place as far as it can.
    window->move(100, 900);
    ASSERT_EQ(window->screen(), desk);
    emit desk->availableGeometryChanged(desk->availableGeometry());
    EXPECT_EQ(window->geometry(), QRect(100, 1080 - 657, 945, 657));
}

TEST_F(SettingsWindowTest, StartsWithIpCamsShownAndEveryFieldEmpty)
{
    EXPECT_TRUE(shown(QStringLiteral("camsFrame")));
    EXPECT_FALSE(shown(QStringLiteral("servicesFrame")));
    EXPECT_FALSE(shown(QStringLiteral("devicesFrame")));
    EXPECT_EQ(window->visibleSection(), SettingsWindow::Section::Cams);
    EXPECT_FALSE(savedShown());
    for (const QString& name : SettingsStore::valueNames()) {
        if (name.endsWith(u'b'))
            EXPECT_EQ(box(fieldOf(name))->checkState(), Qt::Unchecked) << name.toStdString();
        else
            EXPECT_TRUE(text(fieldOf(name))->text().isEmpty()) << name.toStdString();
    }
}

TEST_F(SettingsWindowTest, LoadFillsEveryFieldFromItsValueAndOnlyTicks)
{
    QList<SettingsStore::Value> stored;
    for (const QString& name : SettingsStore::valueNames())
        stored.append({name, name.endsWith(u'b') ? QStringLiteral("0") : QStringLiteral(" text of %1 ").arg(name)});
    const auto setStored = [&stored](const char* name, const char* value) {
        for (auto& entry : stored)
            if (entry.first == QLatin1String(name))
                entry.second = QLatin1String(value);
    };
    setStored("c1b", "1");
    setStored("c2b", " 1");
    setStored("c3b", "01");
    setStored("c5b", "on");
    setStored("c6b", "2");
    setStored("d15b", "1");
    setStored("e10b", "1");
    ASSERT_TRUE(store.WriteSettings(stored));

    // A box ticked before the load stays ticked although its value says "0".
    box(QStringLiteral("x4"))->setChecked(true);
    window->loadFields();

    for (const auto& [name, value] : stored) {
        if (!name.endsWith(u'b')) {
            EXPECT_EQ(text(fieldOf(name))->text(), value) << name.toStdString();
        }
    }
    const QStringList ticked{"x1", "x2", "x3", "x4", "Check15", "Check25"};
    for (const QString& name : SettingsStore::valueNames()) {
        if (name.endsWith(u'b')) {
            EXPECT_EQ(box(fieldOf(name))->isChecked(), ticked.contains(fieldOf(name))) << name.toStdString();
        }
    }
    EXPECT_EQ(window->visibleSection(), SettingsWindow::Section::Cams);
    EXPECT_FALSE(savedShown());
}

TEST_F(SettingsWindowTest, LoadWithoutAStoreLeavesFieldsAndWritesNothing)
{
    text(QStringLiteral("cc1"))->setText(QStringLiteral("typed"));
    window->loadFields();
    EXPECT_EQ(text(QStringLiteral("cc1"))->text(), QString());
    EXPECT_FALSE(box(QStringLiteral("x1"))->isChecked());
    EXPECT_FALSE(place.exists());
}

TEST_F(SettingsWindowTest, SaveWritesEveryFieldAndANewWindowLoadsTheSameState)
{
    for (const QString& name : SettingsStore::valueNames()) {
        if (!name.endsWith(u'b'))
            text(fieldOf(name))->setText(QStringLiteral("%1 = \"%2\", ").arg(fieldOf(name), name));
    }
    const QStringList ticked{"x1", "x10", "Check1", "Check15", "Check16", "Check25"};
    for (const QString& name : ticked)
        box(name)->setChecked(true);
    box(QStringLiteral("Check7"))->setCheckState(Qt::PartiallyChecked);

    click(QStringLiteral("svcAM"));
    EXPECT_TRUE(savedShown());
    EXPECT_EQ(window->announced, QStringList{QStringLiteral("Label26 SAVED!")});

    const SettingsStore reader(store.location());
    for (const QString& name : SettingsStore::valueNames()) {
        const QString field = fieldOf(name);
        const QString expected = !name.endsWith(u'b')     ? QStringLiteral("%1 = \"%2\", ").arg(field, name)
                                 : ticked.contains(field) ? QStringLiteral("1")
                                                          : QStringLiteral("0");
        EXPECT_EQ(reader.ReadSetting(kKey, name), expected) << name.toStdString();
    }

    window.reset();
    makeWindow();
    window->loadFields();
    for (const QString& name : SettingsStore::valueNames()) {
        const QString field = fieldOf(name);
        if (name.endsWith(u'b'))
            EXPECT_EQ(box(field)->isChecked(), ticked.contains(field)) << name.toStdString();
        else
            EXPECT_EQ(text(field)->text(), QStringLiteral("%1 = \"%2\", ").arg(field, name));
    }
    EXPECT_FALSE(savedShown());
}

TEST_F(SettingsWindowTest, AFailedSaveShowsNoSavedLabel)
{
    place.blockSaves();
    text(QStringLiteral("errun"))->setText(QStringLiteral("/bin/true"));
    click(QStringLiteral("svcAM"));
    EXPECT_FALSE(savedShown());
    EXPECT_TRUE(window->announced.isEmpty());
    EXPECT_EQ(text(QStringLiteral("errun"))->text(), QStringLiteral("/bin/true"));
}

TEST_F(SettingsWindowTest, SectionButtonsShowExactlyTheirSectionAndKeepTheFields)
{
    text(QStringLiteral("cc3"))->setText(QStringLiteral("10.1.1.3"));
    box(QStringLiteral("x3"))->setChecked(true);
    text(QStringLiteral("Text20"))->setText(QStringLiteral("10.2.2.5"));

    const struct {
        const char* button;
        SettingsWindow::Section section;
        bool cams, services, devices;
    } presses[] = {
        {"devb", SettingsWindow::Section::Devices, false, false, true},
        {"devb", SettingsWindow::Section::Devices, false, false, true},
        {"servb", SettingsWindow::Section::Services, false, true, false},
        {"camb", SettingsWindow::Section::Cams, true, false, false},
        {"servb", SettingsWindow::Section::Services, false, true, false},
        {"devb", SettingsWindow::Section::Devices, false, false, true},
    };
    for (const auto& press : presses) {
        click(QLatin1String(press.button));
        EXPECT_EQ(shown(QStringLiteral("camsFrame")), press.cams) << press.button;
        EXPECT_EQ(shown(QStringLiteral("servicesFrame")), press.services) << press.button;
        EXPECT_EQ(shown(QStringLiteral("devicesFrame")), press.devices) << press.button;
        EXPECT_EQ(window->visibleSection(), press.section) << press.button;
    }
    click(QStringLiteral("camb"));
    EXPECT_EQ(text(QStringLiteral("cc3"))->text(), QStringLiteral("10.1.1.3"));
    EXPECT_TRUE(box(QStringLiteral("x3"))->isChecked());
    EXPECT_EQ(text(QStringLiteral("Text20"))->text(), QStringLiteral("10.2.2.5"));
}

TEST_F(SettingsWindowTest, SaveStaysClickableOverTheTallServicesSection)
{
    click(QStringLiteral("servb"));
    const QPushButton* save = find<QPushButton>(QStringLiteral("svcAM"));
    EXPECT_EQ(window->childAt(save->geometry().center()), save);
    click(QStringLiteral("svcAM"));
    EXPECT_TRUE(savedShown());
}

TEST_F(SettingsWindowTest, SavedStaysThroughSectionsAndXUntilHidden)
{
    click(QStringLiteral("svcAM"));
    ASSERT_TRUE(savedShown());
    click(QStringLiteral("devb"));
    click(QStringLiteral("camb"));
    EXPECT_TRUE(savedShown());
    click(QStringLiteral("x"));
    EXPECT_TRUE(savedShown());
    window->hideSavedLabel();
    EXPECT_FALSE(savedShown());
}

TEST_F(SettingsWindowTest, XHidesTheWindowFirstThenAsksForACycle)
{
    click(QStringLiteral("servb"));
    text(QStringLiteral("Text2"))->setText(QStringLiteral("unsaved.exe"));
    bool hiddenWhenAsked = false;
    QObject::connect(window.get(), &SettingsWindow::closedWithX, window.get(),
                     [this, &hiddenWhenAsked] { hiddenWhenAsked = window->isHidden(); });
    QSignalSpy asked(window.get(), &SettingsWindow::closedWithX);

    click(QStringLiteral("x"));
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(hiddenWhenAsked);
    EXPECT_TRUE(window->isHidden());
    // Hidden, not gone: the section, the unsaved text and the empty store are as they were.
    EXPECT_EQ(window->visibleSection(), SettingsWindow::Section::Services);
    EXPECT_EQ(window->targetText(TargetKind::Process, 2), QStringLiteral("unsaved.exe"));
    EXPECT_FALSE(place.exists());
}

TEST_F(SettingsWindowTest, TheCycleReadsTheFieldsAsTheyAreNow)
{
    const TargetFields& fields = *window;
    text(QStringLiteral("Text16"))->setText(QStringLiteral("10.0.0.1"));
    box(QStringLiteral("Check16"))->setChecked(true);
    text(QStringLiteral("cc10"))->setText(QStringLiteral("10.0.1.10"));
    box(QStringLiteral("x10"))->setCheckState(Qt::PartiallyChecked);
    text(QStringLiteral("Text15"))->setText(QStringLiteral("backup.exe"));
    box(QStringLiteral("Check15"))->setChecked(true);
    text(QStringLiteral("errun"))->setText(QStringLiteral(" /usr/bin/alert "));

    // Devices and Services are hidden, and nothing is saved: they count all the same.
    ASSERT_FALSE(shown(QStringLiteral("devicesFrame")));
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 1), TargetFields::Ticked);
    EXPECT_EQ(fields.targetText(TargetKind::Device, 1), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(fields.enableValue(TargetKind::Cam, 10), TargetFields::Grayed);
    EXPECT_EQ(fields.targetText(TargetKind::Cam, 10), QStringLiteral("10.0.1.10"));
    EXPECT_EQ(fields.enableValue(TargetKind::Process, 15), TargetFields::Ticked);
    EXPECT_EQ(fields.targetText(TargetKind::Process, 15), QStringLiteral("backup.exe"));
    EXPECT_EQ(fields.failureCommand(), QStringLiteral(" /usr/bin/alert "));
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 2), TargetFields::Unticked);
    EXPECT_EQ(fields.enableValue(TargetKind::Process, 1), TargetFields::Unticked);

    // A field read while the window is hidden gives what it holds now.
    click(QStringLiteral("x"));
    box(QStringLiteral("Check16"))->setChecked(false);
    text(QStringLiteral("Text16"))->setText(QStringLiteral("10.0.0.2"));
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 1), TargetFields::Unticked);
    EXPECT_EQ(fields.targetText(TargetKind::Device, 1), QStringLiteral("10.0.0.2"));

    // Numbers outside a kind's range name no field.
    EXPECT_EQ(fields.enableValue(TargetKind::Device, 11), TargetFields::Unticked);
    EXPECT_EQ(fields.enableValue(TargetKind::Process, 0), TargetFields::Unticked);
    EXPECT_EQ(fields.targetText(TargetKind::Cam, 11), QString());
    EXPECT_EQ(fields.targetText(TargetKind::Process, 16), QString());
}

// What a screen reader reads: each field and box names its target, the box keeps its caption "ON".
TEST_F(SettingsWindowTest, ScreenReadersTellEveryFieldAndBoxApart)
{
    QSet<QString> names;
    for (const QString& value : SettingsStore::valueNames())
        names << accessibleName(find<QWidget>(fieldOf(value)));
    EXPECT_EQ(names.size(), 71);
    EXPECT_EQ(accessibleName(box(QStringLiteral("x3"))), QStringLiteral("IP Cam 3 ON"));
    EXPECT_EQ(accessibleName(text(QStringLiteral("Text18"))), QStringLiteral("Device 3"));
    EXPECT_EQ(accessibleName(text(QStringLiteral("errun"))), find<QLabel>(QStringLiteral("Label24"))->text());
    EXPECT_EQ(accessibleName(window.get()), QStringLiteral("Pylvane"));
}

// Tab takes the visible section row by row and scrolls what it reaches into view, on any screen.
TEST_F(SettingsWindowTest, TabRunsThroughTheVisibleSectionIntoViewAndFramesTheFocus)
{
    EXPECT_TRUE(window->screen()->availableGeometry().contains(window->geometry()));
    const QWidget* viewport = window->findChild<QScrollArea*>()->viewport();
    for (const auto& [button, field, box, first] :
         {std::tuple{"devb", "Text%1", "Check%1", 16}, {"camb", "cc%1", "x%1", 1}}) {
        click(QLatin1String(button));
        QStringList expected{"servb", "devb"}, visited;
        for (int n = first; n < first + 10; ++n)
            expected << QString::fromLatin1(field).arg(n) << QString::fromLatin1(box).arg(n);
        expected += QStringList{"errun", "svcAM", "x", "camb"};
        find<QWidget>(QStringLiteral("camb"))->setFocus();
        for (QWidget* focused; visited.size() < expected.size(); visited << focused->objectName()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            focused = QApplication::focusWidget();
            const QRect place(focused->mapTo(viewport, QPoint(0, 0)), focused->size());
            EXPECT_TRUE(viewport->rect().contains(place)) << focused->objectName().toStdString();
        }
        EXPECT_EQ(visited, expected) << button;
    }

    // The frame stands out from the grey beside the box that Tab has reached.
    QCheckBox* x1 = box(QStringLiteral("x1"));
    const QPointF beside = x1->geometry().topLeft() + QPointF(-1, x1->height() / 2);
    const auto shade = [x1, beside] {
        const QImage image = x1->parentWidget()->grab().toImage();
        return qGray(image.pixel((beside * image.devicePixelRatio()).toPoint()));
    };
    const int background = shade();
    text(QStringLiteral("cc1"))->setFocus();
    QTest::keyClick(text(QStringLiteral("cc1")), Qt::Key_Tab);
    EXPECT_GT(background - shade(), 80) << "background " << background;
}

// Escape and the window system's close (Alt+F4) do what "X" does, Ctrl+S "Save", Enter the focused button.
TEST_F(SettingsWindowTest, KeysAndTheWindowSystemsCloseDoWhatTheButtonsDo)
{
    QSignalSpy asked(window.get(), &SettingsWindow::closedWithX);
    QTest::keyClick(text(QStringLiteral("errun")), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(savedShown());
    find<QPushButton>(QStringLiteral("devb"))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(window->visibleSection(), SettingsWindow::Section::Devices);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(window->isHidden() && asked.count() == 1);

    window->show();
    QCloseEvent close;
    QCoreApplication::sendEvent(window->windowHandle(), &close);
    EXPECT_TRUE(window->isHidden() && asked.count() == 2);
    // The program's own close, at its end, is no "X".
    window->show();
    EXPECT_TRUE(window->close() && asked.count() == 2);
}

} // namespace
