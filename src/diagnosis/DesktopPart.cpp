#include "diagnosis/DesktopPart.h"

#include "diagnosis/DesktopCheck.h"
#include "diagnosis/DiagnosisSystem.h"
#include "outcome/SessionBusQuestion.h"
#include "platform/ConsoleOutput.h"
#include "platform/DisplayChoice.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSystemTrayIcon>

#include <algorithm>

using Verdict = CheckResult::Verdict;

namespace {

// The display's server and the session bus get one second each to answer, as the program's own start gives them.
constexpr int kAnswerLimitMs = 1'000;

const QString kStage = QStringLiteral("stage");

void say(const QJsonObject& line)
{
    ConsoleOutput::write(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

void say(const CheckResult& check)
{
    say(QJsonObject{{QStringLiteral("id"), check.id},
                    {QStringLiteral("name"), check.name},
                    {QStringLiteral("verdict"), int(check.verdict)},
                    {QStringLiteral("summary"), check.summary},
                    {QStringLiteral("remedy"), check.remedy},
                    {QStringLiteral("values"), check.values}});
}

CheckResult named(const QString& id, const QString& name)
{
    CheckResult check;
    check.id = id;
    check.name = name;
    return check;
}

QString windowSystemOf(const QString& platform)
{
    if (platform == QStringLiteral("xcb"))
        return QStringLiteral("X11");
    if (platform.startsWith(QStringLiteral("wayland")))
        return QStringLiteral("Wayland");
    if (platform == QStringLiteral("windows"))
        return QStringLiteral("Windows");
    return platform;
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms / 100) / 10) + QStringLiteral(" s");
}

int displayPart(int argc, char* argv[])
{
    CheckResult check = named(QStringLiteral("desktop"), QStringLiteral("Desktop"));
    // Qt connects to an X server that is stopped and waits for good; it is asked first, as the program's start does.
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (chosen.isEmpty() || chosen.startsWith("xcb")) {
        const DisplayAnswer answer = askDisplay(kAnswerLimitMs);
        if (answer.kind == DisplayAnswer::Refused || answer.kind == DisplayAnswer::Silent) {
            // The number only: a display on another machine would name it.
            const QString shown = answer.name.mid(answer.name.lastIndexOf(QLatin1Char(':')));
            check.values = {{QStringLiteral("window_system"), QStringLiteral("X11")},
                            {QStringLiteral("display_answered"), false},
                            {QStringLiteral("tray"), false}};
            check.set(Verdict::Warn,
                      answer.kind == DisplayAnswer::Refused
                          ? QStringLiteral("the display %1 refuses connections, so Pylvane runs without windows")
                                .arg(shown)
                          : QStringLiteral("the display %1 did not answer within %2, so Pylvane runs without windows")
                                .arg(shown, seconds(kAnswerLimitMs)),
                      QStringLiteral("Start Pylvane in your desktop session, or set DISPLAY to a display whose "
                                     "server runs (a stopped X server holds every window)."));
            say(check);
            return 0;
        }
    }
    if (!DiagnosisSystem::prepareDisplay()) {
        check.values = {{QStringLiteral("window_system"), QStringLiteral("none")}, {QStringLiteral("tray"), false}};
        check.set(Verdict::NotApplicable, QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset)"));
        say(check);
        return 0;
    }
    // Qt looks for the tray on the session bus too; where the bus does not answer, the program starts without it,
    // and so does this look.
    const bool busSilent = SessionBusQuestion::ask(kAnswerLimitMs) == SessionBusQuestion::Answer::Silent;
    if (busSilent)
        SessionBusQuestion::leaveBusAlone();
    QApplication app(argc, argv);
    const QString system = windowSystemOf(QGuiApplication::platformName());
    say(QJsonObject{{kStage, QStringLiteral("display")}, {QStringLiteral("window_system"), system}});
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    check.values = {{QStringLiteral("window_system"), system}, {QStringLiteral("tray"), tray}};
    if (system == QStringLiteral("offscreen") || system == QStringLiteral("minimal")) {
        check.set(Verdict::NotApplicable,
                  QStringLiteral("no display to show windows on (Qt's %1 platform)").arg(system));
    } else if (tray) {
        check.set(Verdict::Ok, QStringLiteral("%1, with a system tray").arg(system));
    } else {
        check.set(Verdict::Warn, QStringLiteral("%1, without a system tray").arg(system),
                  QStringLiteral("Turn on your desktop's tray (for GNOME, the AppIndicator extension) to see the lamp "
                                 "and notices there."));
    }
    if (busSilent) {
        check.values.insert(QStringLiteral("session_bus"), false);
        check.summary += QStringLiteral("; the session bus did not answer within %1, so only a tray that needs no bus "
                                        "was looked for")
                             .arg(seconds(kAnswerLimitMs));
    }
    say(check);
    return 0;
}

int busPart(int argc, char* argv[])
{
    // The same one question as at the program's start: where it goes unanswered, Pylvane runs without the bus.
    if (SessionBusQuestion::ask(kAnswerLimitMs) == SessionBusQuestion::Answer::Silent) {
        const QString why = QStringLiteral("the session bus did not answer within %1, so Pylvane starts without it")
                                .arg(seconds(kAnswerLimitMs));
        const QString remedy = QStringLiteral("Check that the session bus's daemon runs (a stopped one holds every "
                                              "program that asks it), or sign in again.");
        CheckResult notifications = named(QStringLiteral("notifications"), QStringLiteral("Notifications"));
        notifications.values = {{QStringLiteral("session_bus"), false}};
        notifications.set(Verdict::Warn, why + QStringLiteral("; notices fall back to the tray"), remedy);
        CheckResult accessibility = named(QStringLiteral("accessibility"), QStringLiteral("Accessibility"));
        accessibility.values = {{QStringLiteral("session_bus"), false}};
        accessibility.set(Verdict::Warn, why + QStringLiteral("; screen readers cannot reach Pylvane's windows"),
                          remedy);
        say(notifications);
        say(accessibility);
        return 0;
    }
    QCoreApplication app(argc, argv);
    // Every question it asks has its own limit; the diagnosis ends the process should one not keep it.
    DesktopCheck desktop;
    desktop.start();
    if (!desktop.done()) {
        QEventLoop loop;
        QObject::connect(&desktop, &DesktopCheck::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    for (const CheckResult& check : desktop.results())
        say(check);
    return 0;
}

CheckResult fromLine(const QJsonObject& line)
{
    CheckResult check =
        named(line.value(QStringLiteral("id")).toString(), line.value(QStringLiteral("name")).toString());
    const int verdict = line.value(QStringLiteral("verdict")).toInt(int(Verdict::Warn));
    check.set(verdict >= int(Verdict::Ok) && verdict <= int(Verdict::NotApplicable) ? Verdict(verdict) : Verdict::Warn,
              line.value(QStringLiteral("summary")).toString(), line.value(QStringLiteral("remedy")).toString());
    check.values = line.value(QStringLiteral("values")).toObject();
    return check;
}

} // namespace

int DesktopPart::run(int argc, char* argv[], const QString& part)
{
    if (part == kDisplay)
        return displayPart(argc, argv);
    if (part == kBus)
        return busPart(argc, argv);
    return 2;
}

DesktopPart::DesktopPart(const QString& part) : part_(part) {}

DesktopPart::~DesktopPart()
{
    stop();
}

void DesktopPart::start()
{
    clock_.start();
    process_.setProgram(QCoreApplication::applicationFilePath());
    process_.setArguments({kOption, part_});
    // Qt's own messages about the display stay out of the report.
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.start();
}

void DesktopPart::finishBy(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(int(std::max<qint64>(left, 1))))
        stop();
}

void DesktopPart::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    stoppedAfterMs_ = clock_.elapsed();
    process_.kill();
    process_.waitForFinished(1'000);
}

QList<CheckResult> DesktopPart::results()
{
    QList<CheckResult> said;
    QString windowSystem;
    for (const QByteArray& line : process_.readAllStandardOutput().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line.trimmed()).object();
        if (object.contains(kStage))
            windowSystem = object.value(QStringLiteral("window_system")).toString();
        else if (!object.isEmpty())
            said << fromLine(object);
    }
    QList<CheckResult> expected;
    if (part_ == kDisplay)
        expected << named(QStringLiteral("desktop"), QStringLiteral("Desktop"));
    else
        expected << named(QStringLiteral("notifications"), QStringLiteral("Notifications"))
                 << named(QStringLiteral("accessibility"), QStringLiteral("Accessibility"));
    const qint64 waited = stoppedAfterMs_ >= 0 ? stoppedAfterMs_ : clock_.elapsed();
    const QString notAnswered = stoppedAfterMs_ >= 0 ? QStringLiteral("did not answer within %1").arg(seconds(waited))
                                : process_.error() == QProcess::FailedToStart
                                    ? QStringLiteral("could not be asked (%1)").arg(process_.errorString())
                                    : QStringLiteral("could not be asked: its look ended without an answer");
    for (CheckResult& check : expected) {
        const auto found =
            std::find_if(said.cbegin(), said.cend(), [&check](const CheckResult& one) { return one.id == check.id; });
        if (found != said.cend()) {
            check = *found;
            continue;
        }
        check.values.insert(QStringLiteral("answered"), false);
        if (check.id == QStringLiteral("desktop") && !windowSystem.isEmpty()) {
            check.values.insert(QStringLiteral("window_system"), windowSystem);
            check.set(Verdict::Warn, QStringLiteral("%1; the system tray %2").arg(windowSystem, notAnswered),
                      QStringLiteral("Check that the session bus and the tray run and answer; a stopped one holds "
                                     "Pylvane's windows."));
        } else if (check.id == QStringLiteral("desktop")) {
            check.set(Verdict::Warn, QStringLiteral("the display ") + notAnswered,
                      QStringLiteral("Check that the display's server runs and answers; a stopped one holds "
                                     "Pylvane's windows."));
        } else {
            check.set(Verdict::Warn, QStringLiteral("the session bus ") + notAnswered,
                      QStringLiteral("Check that the session bus's daemon runs and answers; a stopped one holds "
                                     "notices and screen readers."));
        }
    }
    return expected;
}
