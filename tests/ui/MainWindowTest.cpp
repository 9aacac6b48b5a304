#include "support/FakePlatform.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "eventlog/EventLog.h"
#include "monitor/TargetFields.h"
#include "monitor/TargetProbes.h"
#include "ui/LogOpenFailure.h"
#include "ui/MainWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// Processes named "up.exe" run, and "unclear.exe" cannot be looked up; every echo times out.
class Probes : public TargetProbes {
public:
    int WinsockStart() override { return -1; }
    void WinsockStop() override {}
    int32_t SendEcho(const std::string&, const std::string&, EchoReply& reply) override { return reply.Status = 11010; }
    std::optional<int> ExeExists(const QString& name) override
    {
        if (name == QLatin1String("unclear.exe"))
            return std::nullopt;
        return name == QLatin1String("up.exe") ? -1 : 0;
    }
};

class OneProcess : public NoTargetFields {
public:
    QString name = QStringLiteral("up.exe");
    int enableValue(TargetKind kind, int number) const override
    {
        return kind == TargetKind::Process && number == 1 ? Ticked : Unticked;
    }
    QString targetText(TargetKind, int) const override { return name; }
    QString failureCommand() const override { return command; }
    QString command;
};

// Counts the moves it is asked for instead of handing the mouse to the window system.
class CountingMainWindow : public MainWindow {
public:
    using MainWindow::MainWindow;
    int moves = 0;

protected:
    void beginSystemMove() override { ++moves; }
};

// What "Open Log" would have shown.
class RecordedFailure : public LogOpenFailure {
public:
    explicit RecordedFailure(QStringList& shown) : shown_(shown) {}
    void show(const QString& logPath) override { shown_ << logPath; }

private:
    QStringList& shown_;
};

class MainWindowTest : public ::testing::Test {
protected:
    TempDir dir;
    FakePlatform platform;
    Probes probes;
    EventLog log{platform, dir.path("PylvaneLog.txt")};
    CountingMainWindow window{platform, probes, log};

    QLabel* lamp(const char* name) { return window.findChild<QLabel*>(QLatin1String(name)); }
    QString shownLamp()
    {
        QString shown;
        for (const char* name : {"Image1", "Image2", "Image3"})
            if (!lamp(name)->isHidden())
                shown += QLatin1String(name);
        return shown;
    }
    // Lets the armed cycle timer fire at once instead of after ten seconds.
    void runArmedCycle()
    {
        ASSERT_TRUE(window.schedule().Timer1().isActive());
        window.schedule().Timer1().setInterval(0);
        ASSERT_TRUE(waitFor([&] { return !window.schedule().Timer1().isActive(); }));
    }
};

TEST_F(MainWindowTest, LoadShowsGreyLampPresetsCounterAndFocusesOpenLog)
{
    EXPECT_EQ(shownLamp(), "Image3");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.size(), QSize(301, 79));
    EXPECT_EQ(window.windowTitle(), "Pylvane");
    EXPECT_EQ(window.schedule().Text1(), "100");
    EXPECT_TRUE(window.schedule().Timer2().isActive());
    EXPECT_FALSE(window.schedule().Timer1().isActive());
    auto* openLog = window.findChild<QPushButton*>("Command1");
    auto* settings = window.findChild<QPushButton*>("SettingsButton");
    EXPECT_EQ(openLog->text(), "Open Log");
    EXPECT_EQ(settings->text(), "Settings");
    EXPECT_TRUE(openLog->hasFocus());
    EXPECT_EQ(openLog->nextInFocusChain(), settings);
    EXPECT_EQ(lamp("Image1")->geometry(), lamp("Image3")->geometry()) << "the lamps are stacked";
    EXPECT_FALSE(lamp("Image3")->pixmap().isNull());
}

// The lamp is drawn again for the scale of the screen that the window goes to, and stays sharp there. Needs a
// second screen at twice the scale (the ctest entry ...OnTwoScreens gives it).
TEST_F(MainWindowTest, TheLampIsDrawnAgainForTheScaleOfAnotherScreen)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() != 2 || screens[1]->devicePixelRatio() != 2)
        GTEST_SKIP() << "needs a second screen at twice the scale (two-screens.json)";
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto lampRatios = [this] {
        QList<qreal> ratios;
        for (const char* name : {"Image1", "Image2", "Image3"})
            ratios << lamp(name)->pixmap().devicePixelRatio();
        return ratios;
    };
    EXPECT_EQ(lampRatios(), QList<qreal>({1, 1, 1}));
    window.windowHandle()->setScreen(screens[1]);
    EXPECT_EQ(lampRatios(), QList<qreal>({2, 2, 2}));
    window.windowHandle()->setScreen(screens[0]);
    EXPECT_EQ(lampRatios(), QList<qreal>({1, 1, 1}));
}

TEST_F(MainWindowTest, TimersDriveCyclesAndTheLampFollowsTheOutcome)
{
    OneProcess fields;
    window.setTargetFields(&fields);
    window.show();
    window.schedule().tick(); // the first tick after load arms the cycle
    runArmedCycle();
    EXPECT_EQ(shownLamp(), "Image1");

    fields.name = QStringLiteral("down.exe");
    window.presetTickCounter();
    window.schedule().tick();
    runArmedCycle();
    EXPECT_EQ(shownLamp(), "Image2");
    EXPECT_EQ(window.cycle().state(TargetKind::Process, 1), "off");
    EXPECT_TRUE(QFile::exists(dir.path("PylvaneLog.txt")));

    window.hide(); // a hidden window still keeps its lamp
    fields.name = QStringLiteral("up.exe");
    window.presetTickCounter();
    window.schedule().tick();
    runArmedCycle();
    EXPECT_EQ(shownLamp(), "Image1");
}

// What a screen reader reads of the window and of the lamp (the picture that shows) before, during and after cycles.
TEST_F(MainWindowTest, AssistiveTechnologyReadsTheLampInWords)
{
    window.show();
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&window);
    EXPECT_EQ(reader->text(QAccessible::Name), "Pylvane");
    const auto readLamp = [reader] {
        QStringList shown;
        for (int i = 0; i < reader->childCount(); ++i)
            if (reader->child(i)->role() == QAccessible::Graphic && !reader->child(i)->state().invisible)
                shown << reader->child(i)->text(QAccessible::Name) + " | " +
                             reader->child(i)->text(QAccessible::Description);
        return shown.join(" + ");
    };
    EXPECT_TRUE(readLamp().startsWith("Status: grey, no check yet | No check has run yet; the first starts at about "));
    window.cycleStarted();
    EXPECT_EQ(readLamp(), "Status: grey, checking | Checking the targets now.");

    OneProcess fields;
    fields.name = QStringLiteral("backup.exe");
    window.setTargetFields(&fields);
    window.cycle().run();
    const QString red = "Status: red, 1 target down",
                  found = "The last check ended at 08:15:42. Down:\nServices and Apps 1 backup.exe";
    EXPECT_EQ(readLamp(), red + " | " + found);
    EXPECT_EQ(lamp("Image2")->toolTip(), red + "\n" + found);
    // What could not be done is said too: a target left unchecked would otherwise pass for one that is up.
    fields.command = QStringLiteral("/nonexistent/alert");
    window.cycle().run();
    EXPECT_EQ(readLamp(),
              red + " | " + found + "\nThe failure command could not start: /nonexistent/alert (no such file)");
    fields.name = QStringLiteral("unclear.exe");
    window.cycle().run();
    EXPECT_EQ(readLamp(), "Status: green, nothing down | The last check ended at 08:15:42 and found nothing down.\n"
                          "Could not be checked: Services and Apps 1 unclear.exe");
    window.setTargetFields(nullptr);
    window.cycle().run();
    EXPECT_EQ(readLamp(), "Status: green, nothing down | The last check ended at 08:15:42 and found nothing down.");
}

// Tab goes "Open Log", "Settings", "?" and round; Enter presses the focused button; Space or Enter on "?", F1
// anywhere in the window, and assistive technology pressing "?", show the about message.
TEST_F(MainWindowTest, TheKeyboardReachesEveryControl)
{
    QSignalSpy settingsRequested(&window, &MainWindow::settingsRequested);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* about = window.findChild<QLabel*>("Label1");
    const QImage unfocused = about->grab().toImage();
    const auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    const auto focused = [] {
        return QAccessible::queryAccessibleInterface(QApplication::focusWidget())->text(QAccessible::Name);
    };
    QStringList order{focused()};
    for (int i = 0; i < 3; ++i, order << focused())
        press(Qt::Key_Tab);
    EXPECT_EQ(order, QStringList({"Open Log", "Settings", "About Pylvane", "Open Log"}));

    press(Qt::Key_Return);
    EXPECT_EQ(platform.opened.size(), 1);
    // A key held down repeats; the repeats press nothing.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(QApplication::focusWidget(), &repeat);
    }
    EXPECT_EQ(platform.opened.size(), 1);
    press(Qt::Key_Tab);
    press(Qt::Key_Enter);
    EXPECT_EQ(settingsRequested.count(), 1);
    press(Qt::Key_F1);
    EXPECT_EQ(platform.messages.size(), 1);
    press(Qt::Key_Tab);
    EXPECT_NE(about->grab().toImage(), unfocused) << "no focus frame on \"?\"";
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})
        press(key);
    EXPECT_EQ(platform.messages.size(), 4);

    // Assistive technology is told "?" is a button, and presses it as Space does.
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(about);
    EXPECT_EQ(reader->role(), QAccessible::Button);
    EXPECT_EQ(reader->text(QAccessible::Name), "About Pylvane");
    ASSERT_NE(reader->actionInterface(), nullptr);
    EXPECT_EQ(reader->actionInterface()->actionNames().value(0), QAccessibleActionInterface::pressAction());
    reader->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(platform.messages.size(), 5);
}

TEST_F(MainWindowTest, ButtonsAndAboutLabel)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy settingsRequested(&window, &MainWindow::settingsRequested);
    QSignalSpy closing(&window, &MainWindow::closing);

    QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(dir.path("PylvaneLog.txt")));
    EXPECT_EQ(platform.opened, QStringList{dir.path("PylvaneLog.txt")});

    QTest::mouseClick(window.findChild<QPushButton*>("SettingsButton"), Qt::LeftButton);
    EXPECT_EQ(settingsRequested.count(), 1);

    auto* about = window.findChild<QLabel*>("Label1");
    EXPECT_EQ(about->text(), "?");
    EXPECT_TRUE(about->font().bold());
    // Only a left press and release on "?" itself opens the about box; the release comes to "?"
    // even away from it, since the label that saw the press keeps the mouse until then.
    QTest::mouseClick(about, Qt::RightButton);
    QTest::mouseClick(about, Qt::MiddleButton);
    QTest::mousePress(about, Qt::LeftButton);
    QTest::mouseRelease(about, Qt::LeftButton, {}, QPoint(-40, 30));
    QTest::mouseRelease(about, Qt::LeftButton);
    EXPECT_TRUE(platform.messages.isEmpty());
    QTest::mouseClick(about, Qt::LeftButton);
    ASSERT_EQ(platform.messages.size(), 1);
    EXPECT_TRUE(platform.messages.first().startsWith("Pylvane: ")) << "caption Pylvane";
    EXPECT_EQ(platform.messageIcons, QList{Platform::MessageIcon::None});

    EXPECT_EQ(window.moves, 0) << "a press on \"?\" must not start a move that takes its click away";
    QTest::mouseClick(lamp("Image3"), Qt::LeftButton);
    EXPECT_EQ(window.moves, 0);

    // Any mouse button on the background asks for a move; nothing else happens.
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
        QTest::mousePress(&window, button, {}, QPoint(150, 70));
    EXPECT_EQ(window.moves, 3);
    EXPECT_EQ(platform.messages.size(), 1);
    EXPECT_EQ(settingsRequested.count(), 1);

    window.close();
    EXPECT_EQ(closing.count(), 1);
}

// The opener fails after it started (the desktop's handler needs a terminal that is not there), after the window
// is gone, or at once: the user learns where the log is, and a window that is gone is not touched.
TEST_F(MainWindowTest, OpenLogSaysWhereTheLogIsWhenTheOpenerFails)
{
    QStringList shown;
    {
        CountingMainWindow gone{platform, probes, log};
        gone.setLogOpenFailure(std::make_unique<RecordedFailure>(shown));
        gone.openLog();
    }
    ASSERT_TRUE(platform.editorFailsLater);
    platform.editorFailsLater();
    EXPECT_TRUE(shown.isEmpty());

    window.setLogOpenFailure(std::make_unique<RecordedFailure>(shown));
    window.openLog();
    EXPECT_TRUE(shown.isEmpty()) << "nothing is said while the opener may still succeed";
    platform.editorFailsLater();
    EXPECT_EQ(shown, QStringList{dir.path("PylvaneLog.txt")});
    platform.editorSucceeds = false;
    window.openLog();
    EXPECT_EQ(shown.size(), 2);
}

// The message stands beside the windows without blocking them, once however often it comes, and a screen reader
// reads where the log is; Enter closes it.
TEST_F(MainWindowTest, TheLogOpenFailureBoxIsReadAndClosedFromTheKeyboard)
{
    platform.editorSucceeds = false;
    window.show();
    window.openLog();
    window.openLog();
    const QList<QMessageBox*> boxes = window.findChildren<QMessageBox*>(QStringLiteral("LogOpenFailure"));
    ASSERT_EQ(boxes.size(), 1);
    QMessageBox* box = boxes.first();
    ASSERT_TRUE(waitFor([box] { return box->isVisible(); }));
    EXPECT_FALSE(box->isModal());
    const QString where = QDir::toNativeSeparators(dir.path("PylvaneLog.txt"));
    EXPECT_TRUE(box->text().contains(where)) << qPrintable(box->text());
    EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->text(QAccessible::Name), "The log could not be opened");
    EXPECT_TRUE(reader->text(QAccessible::Description).contains(where));
    box->activateWindow();
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return window.findChildren<QMessageBox*>().isEmpty(); }));
}

} // namespace
