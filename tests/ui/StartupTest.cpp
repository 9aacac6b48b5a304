#include "support/FakePlatform.h"
#include "support/FileBytes.h"
#include "support/RecordingEvents.h"
#include "support/SettingsPlace.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

#include "eventlog/EventLog.h"
#include "monitor/TargetProbes.h"
#include "settings/SettingsStore.h"
#include "ui/Application.h"
#include "ui/DiagnosisWindow.h"
#include "ui/HistoryWindow.h"
#include "outcome/Notice.h"
#include "ui/TrayIcon.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

// No target ever answers; every echo address and process name asked for is recorded. A host name is refused as
// the echo probe refuses it, as no IPv4 address.
class SilentProbes : public TargetProbes {
public:
    QStringList asked;
    int WinsockStart() override { return -1; }
    void WinsockStop() override {}
    int32_t SendEcho(const std::string& address, const std::string&, EchoReply& reply) override
    {
        asked << QString::fromStdString(address);
        if (address == "localhost")
            return -1;
        reply.Status = 11010; // timed out
        return reply.Status;
    }
    std::optional<int> ExeExists(const QString& name) override
    {
        asked << name;
        return 0;
    }
};

class RecordingNotifier : public Notifier {
public:
    QList<Notice> shown;
    void show(const Notice& notice) override { shown << notice; }
    void click() { emit clicked(); }
};

class StartupTest : public ::testing::Test {
protected:
    void start()
    {
        auto recording = std::make_unique<RecordingNotifier>();
        notifier = recording.get();
        app = std::make_unique<Application>(platform, probes, log, store, &events, std::move(recording), statusFolder);
        app->start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&app->settingsWindow()));
    }

    MainWindow& main() { return app->mainWindow(); }
    SettingsWindow& settings() { return app->settingsWindow(); }
    // A folder in the log's place keeps every entry out.
    void blockLog() { ASSERT_TRUE(QDir().mkdir(logPath)); }
    void unblockLog() { ASSERT_TRUE(QDir().rmdir(logPath)); }
    template <typename T> T* inSettings(const char* name) { return settings().findChild<T*>(QLatin1String(name)); }
    bool savedShown() { return !inSettings<QLabel>("Label26")->isHidden(); }
    // Of what the screen shows where the tray icon is; none while it has no place in a tray.
    static double redShareOnScreen(const QSystemTrayIcon& icon)
    {
        const QRect at = icon.geometry();
        if (at.isEmpty())
            return 0;
        const QImage shot =
            QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), at.width(), at.height()).toImage();
        int red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                red += shot.pixelColor(x, y).hsvSaturation() > 120 && (shot.pixelColor(x, y).hsvHue() + 20) % 360 < 40;
        return double(red) / (at.width() * at.height());
    }
    // The window that has the focus is the one in front.
    bool settingsInFront() { return QGuiApplication::focusWindow() == settings().windowHandle(); }
    void click(QWidget& window, const char* button)
    {
        QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
    }

    TempDir dir;
    FakePlatform platform;
    SilentProbes probes;
    const QString logPath = dir.path(QStringLiteral("PylvaneLog.txt"));
    EventLog log{platform, logPath};
    SettingsPlace place;
    SettingsStore store{place.location()};
    RecordingEvents events;
    const QString statusFolder = dir.path(QStringLiteral("state/pylvane"));
    RecordingNotifier* notifier = nullptr;
    std::unique_ptr<Application> app;
};

TEST_F(StartupTest, BothWindowsComeUpWithTheStoredFieldsAndTheCounterPreset)
{
    ASSERT_TRUE(store.WriteSettings({{"a1", "/opt/alert"}, {"c2", "10.0.0.2"}, {"c2b", "1"}, {"e10b", " 01"}}));
    const QByteArray before = place.snapshot();
    ASSERT_FALSE(before.isEmpty());

    start();
    EXPECT_TRUE(main().isVisible());
    EXPECT_TRUE(settings().isVisible());
    EXPECT_TRUE(waitFor([this] { return settingsInFront(); }));
    EXPECT_EQ(main().schedule().Text1(), QStringLiteral("100"));
    EXPECT_TRUE(main().schedule().Timer2().isActive());
    EXPECT_FALSE(main().schedule().Timer1().isActive());

    EXPECT_EQ(settings().visibleSection(), SettingsWindow::Section::Cams);
    EXPECT_FALSE(savedShown());
    EXPECT_EQ(inSettings<QLineEdit>("errun")->text(), QStringLiteral("/opt/alert"));
    EXPECT_EQ(inSettings<QLineEdit>("cc2")->text(), QStringLiteral("10.0.0.2"));
    EXPECT_TRUE(inSettings<QCheckBox>("x2")->isChecked());
    EXPECT_TRUE(inSettings<QCheckBox>("Check25")->isChecked());
    EXPECT_FALSE(inSettings<QCheckBox>("x1")->isChecked());

    EXPECT_EQ(place.snapshot(), before) << "the start-up wrote the store";
    EXPECT_FALSE(main().windowIcon().isNull());
    EXPECT_FALSE(settings().windowIcon().isNull());

    // Assistive technology names the settings window as its title does; F1 there shows the about message.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&settings())->text(QAccessible::Name), QStringLiteral("Pylvane"));
    QTest::keyClick(&settings(), Qt::Key_F1);
    EXPECT_TRUE(platform.messages.value(0).startsWith(QStringLiteral("Pylvane: Pylvane, ")));
}

TEST_F(StartupTest, AFirstStartCreatesNoSettingsFile)
{
    start();
    EXPECT_TRUE(inSettings<QLineEdit>("cc1")->text().isEmpty());
    EXPECT_FALSE(place.exists());
}

TEST_F(StartupTest, XHidesTheSettingsWindowAndPresetsTheCounter)
{
    start();
    main().schedule().setText1(QStringLiteral("37"));
    click(settings(), "x");
    EXPECT_TRUE(settings().isHidden());
    EXPECT_TRUE(main().isVisible());
    EXPECT_EQ(main().schedule().Text1(), QStringLiteral("100"));

    // The very next tick arms the cycle.
    main().schedule().tick();
    EXPECT_TRUE(main().schedule().Timer1().isActive());
}

TEST_F(StartupTest, SettingsBringsTheWindowBackAsItWasButWithoutSavedAndWithoutReading)
{
    start();
    click(settings(), "svcAM");
    ASSERT_TRUE(savedShown());
    click(settings(), "devb");
    inSettings<QLineEdit>("Text16")->setText(QStringLiteral("unsaved"));
    click(settings(), "x");
    ASSERT_TRUE(savedShown());

    // A change made to the store from outside waits for the next start.
    ASSERT_TRUE(SettingsStore(store.location()).WriteSetting(QStringLiteral("e1"), QStringLiteral("from outside")));
    main().activateWindow();
    ASSERT_TRUE(waitFor([this] { return QGuiApplication::focusWindow() == main().windowHandle(); }));
    click(main(), "SettingsButton");
    EXPECT_TRUE(settings().isVisible());
    EXPECT_FALSE(savedShown());
    EXPECT_EQ(settings().visibleSection(), SettingsWindow::Section::Devices);
    EXPECT_EQ(inSettings<QLineEdit>("Text16")->text(), QStringLiteral("unsaved"));
    EXPECT_TRUE(waitFor([this] { return settingsInFront(); }));

    // Pressed while the window shows, "Settings" still takes "SAVED!" away.
    click(settings(), "svcAM");
    ASSERT_TRUE(savedShown());
    click(main(), "SettingsButton");
    EXPECT_TRUE(settings().isVisible());
    EXPECT_FALSE(savedShown());
}

// The system's log hears that the entry was kept aside, that the target is down, that the failure command named
// no file, in that order, and, once, that the entry went in.
TEST_F(StartupTest, AnEntryThatCouldNotGoInIsWrittenByTheNextCycleWithNothingDown)
{
    start();
    inSettings<QLineEdit>("Text16")->setText(QStringLiteral("10.0.0.1"));
    inSettings<QCheckBox>("Check16")->setChecked(true);
    inSettings<QLineEdit>("errun")->setText(dir.path(QStringLiteral("no-such-alert")));
    blockLog();
    const auto kinds = [this] {
        QList<SystemEventKind> list;
        for (const SystemEvent& event : std::as_const(events.events))
            list << event.kind;
        return list;
    };
    main().cycle().run();
    // In the order things happened: the entry found, the target down, then the failure command.
    EXPECT_EQ(kinds(), QList<SystemEventKind>({SystemEventKind::Started, SystemEventKind::EntryKeptAside,
                                               SystemEventKind::TargetDown, SystemEventKind::FailureCommandFailed}));
    main().cycle().run();
    EXPECT_EQ(kinds().count(SystemEventKind::EntryKeptAside), 2) << "once for each entry";
    EXPECT_EQ(kinds().count(SystemEventKind::FailureCommandFailed), 2);
    EXPECT_EQ(kinds().count(SystemEventKind::KeptEntryWentIn), 0);
    unblockLog();
    inSettings<QCheckBox>("Check16")->setChecked(false);
    main().cycle().run();
    EXPECT_TRUE(main().isPictureVisible(StatusLamp::Image1));
    EXPECT_EQ(readFile(logPath).count(" - Device1 OFF   \r\n"), 2);
    EXPECT_EQ(kinds().count(SystemEventKind::KeptEntryWentIn), 2);
    EXPECT_EQ(log.entriesWaiting(), 0);
}

TEST_F(StartupTest, TheCycleUsesUnsavedFieldsOfAHiddenSectionAndWindow)
{
    const QString command = dir.path(QStringLiteral("alert.sh"));
    QFile script(command);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.close();

    start();
    ASSERT_EQ(settings().visibleSection(), SettingsWindow::Section::Cams);
    inSettings<QLineEdit>("Text16")->setText(QStringLiteral("10.0.0.1"));
    inSettings<QCheckBox>("Check16")->setChecked(true);
    inSettings<QLineEdit>("Text3")->setText(QStringLiteral("backup.exe"));
    inSettings<QCheckBox>("Check3")->setChecked(true);
    inSettings<QLineEdit>("cc5")->setText(QStringLiteral("10.0.1.5")); // not ticked: not probed
    inSettings<QLineEdit>("errun")->setText(command);
    click(settings(), "x");

    main().cycle().run();
    EXPECT_TRUE(probes.asked.contains(QStringLiteral("10.0.0.1")));
    EXPECT_TRUE(probes.asked.contains(QStringLiteral("backup.exe")));
    EXPECT_FALSE(probes.asked.contains(QStringLiteral("10.0.1.5")));
    EXPECT_EQ(main().cycle().state(TargetKind::Device, 1), QStringLiteral("off"));
    EXPECT_EQ(platform.started, QStringList{command});
    EXPECT_FALSE(place.exists());
}

// A cycle's report reaches the lamp's words, the notice and the status file; a click on the notice
// brings the main window to the front.
TEST_F(StartupTest, ACycleThatFindsATargetDownNoticesItOnceAndWritesTheStatusFile)
{
    start();
    inSettings<QLineEdit>("cc3")->setText(QStringLiteral("192.168.1.23"));
    inSettings<QCheckBox>("x3")->setChecked(true);
    // Through the schedule, as the program runs it: the counter preset at start arms the cycle timer, here
    // set to fire at once.
    main().schedule().tick();
    main().schedule().Timer1().setInterval(0);
    ASSERT_TRUE(waitFor([this] { return !notifier->shown.isEmpty(); }));
    main().schedule().Timer1().setInterval(CheckSchedule::kIntervalMs);
    ASSERT_EQ(notifier->shown.size(), 1);
    EXPECT_EQ(notifier->shown.first().title, QStringLiteral("Pylvane: 1 target down"));
    EXPECT_EQ(notifier->shown.first().body(), QStringLiteral("Down: IP Cam 3 192.168.1.23"));
    EXPECT_TRUE(main().lampToolTip().endsWith(QStringLiteral("Down:\nIP Cam 3 192.168.1.23")))
        << qPrintable(main().lampToolTip());
    const QByteArray status = readFile(statusFolder + QStringLiteral("/status.json"));
    EXPECT_TRUE(status.contains("\"state\": \"down\"")) << status.left(200).toStdString();
    // The next cycle as the schedule has it, about 1000 s on; not the cycle timer still armed as the cycle ended.
    const int nextIn = QJsonDocument::fromJson(status).object().value(QStringLiteral("next_in")).toInt(-1);
    EXPECT_TRUE(nextIn >= 990 && nextIn <= 1010) << nextIn;
    main().cycle().run();
    EXPECT_EQ(notifier->shown.size(), 1);

    main().showMinimized();
    notifier->click();
    EXPECT_FALSE(main().windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(main().isVisible());
}

// The tray's "History…" and Ctrl+H in the main window open the History window, which says when there is no history.
TEST_F(StartupTest, TheTrayMenusHistoryAndCtrlHOpenTheHistoryWindow)
{
    start();
    QAction* history = app->trayIcon()->menu().findChild<QAction*>(QStringLiteral("History"));
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->text(), QStringLiteral("History…"));
    history->trigger();
    HistoryWindow* window = app->historyWindow();
    ASSERT_NE(window, nullptr);
    QSignalSpy loaded(window, &HistoryWindow::loaded);
    ASSERT_TRUE(loaded.wait(10'000));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window)->text(QAccessible::Name), QStringLiteral("Pylvane history"));
    // The run made its database at start; before its first cycle no target has a history in it.
    const QString said = window->findChild<QLabel*>(QStringLiteral("HistoryStatus"))->text();
    EXPECT_TRUE(said.startsWith("No history yet") || said.startsWith("No enabled target has a history yet"))
        << qPrintable(said);
    window->close();

    main().show();
    QApplication::setActiveWindow(&main());
    QTest::keyClick(&main(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(loaded.wait(10'000));
}

// The tray's "Diagnosis…" shows the program's own report in a window read by name and reached by keyboard, and
// copies it whole.
TEST_F(StartupTest, TheTrayMenusDiagnosisShowsTheReportAndCopiesIt)
{
    start();
    app->setDiagnosisProgram(QStringLiteral(PYLVANE_EXECUTABLE),
                             {QStringLiteral("--diagnose"), QStringLiteral("--json")});
    QAction* diagnosis = app->trayIcon()->menu().findChild<QAction*>(QStringLiteral("Diagnosis"));
    ASSERT_NE(diagnosis, nullptr);
    EXPECT_EQ(diagnosis->text(), QStringLiteral("Diagnosis…"));
    QSignalSpy ready(app->diagnosisWindow(), &DiagnosisWindow::reportReady);
    diagnosis->trigger();
    ASSERT_TRUE(ready.wait(20'000));
    DiagnosisWindow& window = *app->diagnosisWindow();
    const QString report = window.report();
    EXPECT_TRUE(report.contains(
        QRegularExpression(QStringLiteral("^\\[(ok|warn|fail|--)\\] "), QRegularExpression::MultilineOption)))
        << qPrintable(report);
    EXPECT_TRUE(report.contains(QStringLiteral("Pylvane " PYLVANE_VERSION " diagnosis: "))) << qPrintable(report);
    // Shown wrapped at the window's edge, each verdict with a mark of its own shape beside its word, and each remedy
    // on a line of its own under its check's line.
    auto* shown = window.findChild<QTextEdit*>(QStringLiteral("Report"));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->lineWrapMode(), QTextEdit::WidgetWidth);
    const QString text = shown->toPlainText();
    const QStringList lines = text.split(QLatin1Char('\n'));
    const std::pair<const char*, QString> marks[] = {{"[ok]", QStringLiteral("\u2714 ok  ")},
                                                     {"[warn]", QStringLiteral("\u25B2 warning  ")},
                                                     {"[fail]", QStringLiteral("\u2716 failure  ")},
                                                     {"[--]", QStringLiteral("\u25CB does not apply  ")},
                                                     {"[info]", QStringLiteral("\u2139 information  ")}};
    for (const auto& [tag, mark] : marks)
        EXPECT_EQ(report.count(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(QLatin1String(tag)),
                                                  QRegularExpression::MultilineOption)),
                  lines.filter(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(mark))).size())
            << tag << "\n"
            << qPrintable(text);
    // Whatever warns here (the notices on Linux, the event source under Wine), its remedy is the line under it; the
    // list finds whole lines only.
    const qsizetype warned = lines.indexOf(QRegularExpression(QStringLiteral("\u25B2 warning  .*")));
    ASSERT_GE(warned, 0) << qPrintable(text);
    ASSERT_LT(warned + 1, lines.size()) << qPrintable(text);
    const QString remedy = lines[warned + 1];
    EXPECT_FALSE(remedy.trimmed().isEmpty()) << qPrintable(text);
    for (const auto& [tag, mark] : marks)
        EXPECT_FALSE(remedy.startsWith(mark)) << qPrintable(text);
    EXPECT_TRUE(report.contains(remedy)) << qPrintable(remedy);
    shown->resize(320, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown->horizontalScrollBar()->maximum(), 0) << "no line needs a horizontal scroll";

    EXPECT_EQ(QAccessible::queryAccessibleInterface(&window)->text(QAccessible::Name), "Pylvane diagnosis");
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QStringList order;
    for (int i = 0; i < 3; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
        order << QAccessible::queryAccessibleInterface(QApplication::focusWidget())->text(QAccessible::Name);
    EXPECT_EQ(order, QStringList({"Diagnosis report", "Copy", "Close"}));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Copy")), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), report);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

// A report that does not come within the window's own limit: the process is ended there, and the window says that
// the diagnosis was stopped at its limit, not that it crashed.
TEST_F(StartupTest, TheDiagnosisWindowSaysADiagnosisStoppedAtItsLimit)
{
    start();
    // The metrics writer waits for its reports on standard input, which stays open: a report that never comes.
    app->setDiagnosisProgram(QStringLiteral(PYLVANE_EXECUTABLE), {QStringLiteral("--write-metrics")});
    QSignalSpy ready(app->diagnosisWindow(), &DiagnosisWindow::reportReady);
    app->trayIcon()->menu().findChild<QAction*>(QStringLiteral("Diagnosis"))->trigger();
    auto* limit = app->diagnosisWindow()->findChild<QTimer*>(QStringLiteral("ReportLimit"));
    ASSERT_NE(limit, nullptr);
    limit->start(0);
    ASSERT_TRUE(ready.wait(10'000));
    const QString report = app->diagnosisWindow()->report();
    EXPECT_TRUE(report.contains(QStringLiteral("stopped at its limit of 15 s"))) << qPrintable(report);
    EXPECT_FALSE(report.contains(QStringLiteral("crash"), Qt::CaseInsensitive)) << qPrintable(report);
}

// "Notify me of changes" in the tray's menu: on unless the store says "0", and kept at once.
TEST_F(StartupTest, TheTrayMenuSwitchesNoticesAndTheStoreKeepsTheChoice)
{
    ASSERT_TRUE(store.setNotifyChanges(false));
    start();
    QAction* notify = app->trayIcon()->menu().findChild<QAction*>(QStringLiteral("NotifyChanges"));
    ASSERT_NE(notify, nullptr);
    EXPECT_EQ(notify->text(), QStringLiteral("Notify me of changes"));
    EXPECT_TRUE(notify->isCheckable());
    EXPECT_FALSE(notify->isChecked());
    inSettings<QLineEdit>("cc3")->setText(QStringLiteral("192.168.1.23"));
    inSettings<QCheckBox>("x3")->setChecked(true);
    main().cycle().run();
    EXPECT_TRUE(notifier->shown.isEmpty());

    notify->trigger();
    EXPECT_TRUE(SettingsStore(place.location()).notifyChanges());
    EXPECT_EQ(SettingsStore(place.location()).ReadSetting(SettingsStore::kKeyPath, QStringLiteral("NotifyChanges")),
              QStringLiteral("1"));
    inSettings<QCheckBox>("x3")->setChecked(false);
    main().cycle().run();
    inSettings<QCheckBox>("x3")->setChecked(true);
    main().cycle().run();
    EXPECT_EQ(notifier->shown.size(), 1);
}

// "Check twice before an alarm": off unless the store says "1", and kept at once. On, a camera found down once brings
// the next cycle to within 20 s, is reported as confirming by its last known state, and tells nobody yet.
TEST_F(StartupTest, TheTrayMenuAsksForASecondLookWithinTwentySeconds)
{
    start();
    QAction* confirm = app->trayIcon()->menu().findChild<QAction*>(QStringLiteral("ConfirmDown"));
    ASSERT_NE(confirm, nullptr);
    EXPECT_TRUE(confirm->isCheckable());
    EXPECT_FALSE(confirm->isChecked());
    confirm->trigger();
    EXPECT_TRUE(SettingsStore(place.location()).confirmDown());
    EXPECT_TRUE(main().cycle().confirmDown());
    inSettings<QLineEdit>("cc3")->setText(QStringLiteral("192.168.1.23"));
    inSettings<QCheckBox>("x3")->setChecked(true);
    // A host name where an address belongs is never checked, and the tooltip says why.
    inSettings<QLineEdit>("Text17")->setText(QStringLiteral("localhost"));
    inSettings<QCheckBox>("Check17")->setChecked(true);
    main().cycle().run();
    const int next = main().schedule().secondsToNextCycle();
    EXPECT_TRUE(next >= 10 && next <= 20) << next;
    EXPECT_TRUE(notifier->shown.isEmpty());
    EXPECT_TRUE(main().isPictureVisible(StatusLamp::Image1));
    EXPECT_TRUE(main().lampToolTip().endsWith(
        "\nChecking IP Cam 3 192.168.1.23 again in about 20 s"
        "\nCould not be checked: Device 2 localhost (not an IPv4 address, so it is never checked)"))
        << qPrintable(main().lampToolTip());
    const QJsonObject cam = QJsonDocument::fromJson(readFile(statusFolder + QStringLiteral("/status.json")))
                                .object()
                                .value("targets")
                                .toArray()
                                .at(12)
                                .toObject();
    EXPECT_TRUE(cam.value("confirming").toBool());
    EXPECT_EQ(cam.value("state").toString(), "unknown");
    main().cycle().run();
    EXPECT_EQ(notifier->shown.size(), 1);
    EXPECT_TRUE(main().isPictureVisible(StatusLamp::Image2));
    // "X" asks for a whole cycle, even while a process found missing once waits for its second look: the camera,
    // down already, is logged again by it, as the schedule's cycle would.
    inSettings<QLineEdit>("Text1")->setText(QStringLiteral("backup.exe"));
    inSettings<QCheckBox>("Check1")->setChecked(true);
    platform.time = QStringLiteral("08:32:40"); // each entry with a time of its own
    main().cycle().run();
    const qsizetype camEntries = readFile(logPath).count(" - Cam3 OFF   ");
    EXPECT_EQ(readFile(logPath).count(" - Process1 DOWN   "), 0);
    click(settings(), "x");
    platform.time = QStringLiteral("08:32:55");
    main().cycle().run();
    EXPECT_EQ(readFile(logPath).count(" - Cam3 OFF   "), camEntries + 1);
    EXPECT_EQ(readFile(logPath).count(" - Process1 DOWN   "), 1);
    confirm->trigger();
    EXPECT_FALSE(SettingsStore(place.location()).confirmDown());
}

// The tray icon's menu reaches the windows and quits as closing the main window does. Where the desktop has a tray
// (tray_test.sh gives one under Xvfb), the icon shows the lamp's picture and tooltip; where there is none, nothing.
TEST_F(StartupTest, TheTrayIconMirrorsTheLamp)
{
    const bool trayExpected = !qEnvironmentVariableIsEmpty("PYLVANE_TRAY_EXPECTED");
    ASSERT_TRUE(!trayExpected || waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    start();
    const QList<QAction*> menu = app->trayIcon()->menu().actions();
    QStringList texts;
    for (const QAction* action : menu)
        texts << action->text();
    ASSERT_EQ(texts, QStringList({"Open Log", "Settings", "Check now", "Notify me of changes",
                                  "Check twice before an alarm", "Diagnosis…", "History…", "Quit"}));
    // "Check now" does what "X" does: the next tick arms a cycle.
    main().schedule().setText1(CheckSchedule::kReset);
    menu[2]->trigger();
    EXPECT_EQ(main().schedule().Text1(), CheckSchedule::kPreset);
    click(settings(), "x");
    menu[1]->trigger();
    EXPECT_TRUE(settings().isVisible());
    menu[0]->trigger();
    EXPECT_EQ(platform.opened, QStringList{logPath});

    QSystemTrayIcon* icon = app->trayIcon()->icon();
    ASSERT_NE(icon, nullptr) << "made also where there is no tray yet, for one that starts later";
    if (trayExpected) {
        ASSERT_TRUE(waitFor([icon] { return !icon->geometry().isEmpty(); })) << "the tray took no icon";
        const auto redShare = [icon] { return redShareOnScreen(*icon); };
        EXPECT_LT(redShare(), 0.02) << "grey before the first cycle";
        inSettings<QLineEdit>("Text3")->setText(QStringLiteral("backup.exe"));
        inSettings<QCheckBox>("Check3")->setChecked(true);
        main().cycle().run();
        EXPECT_TRUE(waitFor([&] { return redShare() > 0.1; })) << "not red after a red cycle";
        EXPECT_EQ(icon->toolTip(), main().lampToolTip());
        main().showMinimized();
        emit icon->activated(QSystemTrayIcon::Trigger);
        EXPECT_FALSE(main().isMinimized());
    }
    QSignalSpy closing(&main(), &MainWindow::closing);
    menu.last()->trigger();
    EXPECT_EQ(closing.count(), 1);
    EXPECT_FALSE(icon->isVisible()) << "the tray icon stays after the program";
}

// Started at sign-in, the program often comes before the desktop's tray, which may also restart later: the icon
// takes its place in each tray that starts, within 5 s. tray_test.sh runs it on an X server with no tray yet.
TEST_F(StartupTest, TheTrayIconComesToATrayThatStartsLaterAndToItsRestart)
{
    const QStringList trayHost = QProcess::splitCommand(qEnvironmentVariable("PYLVANE_LATE_TRAY"));
    if (trayHost.isEmpty())
        GTEST_SKIP() << "needs an X server with no tray yet and a tray to start there (tray_test.sh)";
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    start();
    // Red, to tell the icon from the tray's background.
    inSettings<QLineEdit>("Text3")->setText(QStringLiteral("backup.exe"));
    inSettings<QCheckBox>("Check3")->setChecked(true);
    main().cycle().run();
    QSystemTrayIcon* icon = app->trayIcon()->icon();
    ASSERT_NE(icon, nullptr);
    for (const char* tray : {"the tray started after the program", "the same tray restarted"}) {
        QProcess host;
        host.start(trayHost.first(), trayHost.mid(1));
        ASSERT_TRUE(host.waitForStarted());
        EXPECT_TRUE(waitFor([icon] { return redShareOnScreen(*icon) > 0.1; }, 5000)) << "no icon in " << tray;
        host.terminate();
        ASSERT_TRUE(host.waitForFinished());
        EXPECT_TRUE(waitFor([icon] { return redShareOnScreen(*icon) < 0.02; })) << "shown after " << tray << " ended";
    }
}

// Closing the main window, whichever way, ends the run with the settings window gone as well.
class StartupCloseTest : public StartupTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StartupCloseTest, ClosingTheMainWindowEndsTheProgram)
{
    start();
    const bool settingsHidden = GetParam();
    if (settingsHidden)
        click(settings(), "x");
    // An entry that could not go in is written at the close rather than lost with the program.
    blockLog();
    ASSERT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, QStringLiteral(" - Cam2 OFF   ")));
    unblockLog();

    QTimer::singleShot(0, &main(), [this] { main().close(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); }); // a run that never ends
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(main().isVisible());
    EXPECT_FALSE(settings().isVisible());
    EXPECT_TRUE(readFile(logPath).contains(" - Cam2 OFF   \r\n"));
}

INSTANTIATE_TEST_SUITE_P(SettingsShownOrHidden, StartupCloseTest, ::testing::Bool());

// The end of the session closes no window; Qt tells of it with aboutToQuit, as it does on Windows,
// and the program then ends just as if its main window had been closed.
TEST_F(StartupTest, TheEndOfTheSessionWritesWhatWaitsAndClosesBothWindows)
{
    start();
    blockLog();
    ASSERT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, QStringLiteral(" - Cam2 OFF   ")));
    unblockLog();
    ASSERT_TRUE(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
    EXPECT_TRUE(readFile(logPath).contains(" - Cam2 OFF   \r\n"));
    EXPECT_FALSE(main().isVisible());
    EXPECT_FALSE(settings().isVisible());
}

TEST_F(StartupTest, TheSystemLogHearsOfTheStartAFailedSaveAndTheEndOnce)
{
    const QString version = QStringLiteral(PYLVANE_VERSION);
    start();
    EXPECT_EQ(events.messages(), QStringList{"Pylvane " + version + " started"});
    // What main() tells when the session bus did not answer before the start.
    app->startedWithoutSessionBus(1);
    ASSERT_EQ(events.events.size(), 2);
    EXPECT_EQ(events.events.takeLast().message,
              "Pylvane " + version +
                  " started without the session bus, which did not answer within 1 s: no desktop "
                  "notices and no accessibility bridge in this run; notices show in the tray");
    place.blockSaves();
    click(settings(), "svcAM");
    EXPECT_FALSE(savedShown());
    app->end();
    ASSERT_TRUE(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
    EXPECT_EQ(events.messages(),
              QStringList({"Pylvane " + version + " started", "The settings could not be saved to " + store.location(),
                           "Pylvane " + version + " ended"}));
    EXPECT_EQ(events.events.value(1).kind, SystemEventKind::SettingsNotSaved);
}

} // namespace
