#include "diagnosis/Diagnosis.h"

#include "diagnosis/DesktopCheck.h"
#include "diagnosis/DiagnosisChecks.h"
#include "diagnosis/DiagnosisReport.h"
#include "diagnosis/DiagnosisSystem.h"
#include "platform/ConsoleOutput.h"

#include <QApplication>
#include <QEventLoop>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

using Verdict = CheckResult::Verdict;

namespace {

// What the desktop's services get beyond the checks run meanwhile: the session bus's own limit and then
// that of the calls on it, with room to spare below the five seconds of the whole run.
constexpr int kDesktopWaitMs = 4'600;

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

CheckResult displayCheck(bool gui)
{
    CheckResult check;
    check.id = QStringLiteral("desktop");
    check.name = QStringLiteral("Desktop");
    if (!gui) {
        check.values = {{QStringLiteral("window_system"), QStringLiteral("none")}, {QStringLiteral("tray"), false}};
        check.set(Verdict::NotApplicable, QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset)"));
        return check;
    }
    const QString system = windowSystemOf(QGuiApplication::platformName());
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    check.values = {{QStringLiteral("window_system"), system}, {QStringLiteral("tray"), tray}};
    if (system == QStringLiteral("offscreen") || system == QStringLiteral("minimal")) {
        check.set(Verdict::NotApplicable, QStringLiteral("no display to show windows on (Qt's %1 platform)").arg(system));
    } else if (tray) {
        check.set(Verdict::Ok, QStringLiteral("%1, with a system tray").arg(system));
    } else {
        check.set(Verdict::Warn, QStringLiteral("%1, without a system tray").arg(system),
                  QStringLiteral("Turn on your desktop's tray (for GNOME, the AppIndicator extension) to see the lamp "
                                 "and notices there."));
    }
    return check;
}

} // namespace

int Diagnosis::run(int argc, char* argv[], bool json)
{
    std::unique_ptr<QCoreApplication> ownApp;
    if (QCoreApplication::instance() == nullptr) {
        if (DiagnosisSystem::prepareDisplay())
            ownApp = std::make_unique<QApplication>(argc, argv);
        else
            ownApp = std::make_unique<QCoreApplication>(argc, argv);
    }
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;

    // The desktop's services are asked first and answer on the event loop while the other checks run.
    DesktopCheck desktop;
    desktop.start();
    QList<CheckResult> checks{DiagnosisChecks::program(),  DiagnosisChecks::echo(),
                              DiagnosisChecks::processLookup(), DiagnosisSystem::managementService(),
                              DiagnosisChecks::settings(), DiagnosisChecks::log(), DiagnosisChecks::logViewer(),
                              displayCheck(gui)};
    const qsizetype desktopAt = checks.size();
    checks << DiagnosisSystem::systemLog() << DiagnosisChecks::statusFile() << DiagnosisChecks::metrics()
           << DiagnosisSystem::autostart();
    if (!desktop.done()) {
        QEventLoop loop;
        QObject::connect(&desktop, &DesktopCheck::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kDesktopWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QList<CheckResult> desktopResults = desktop.results();
    for (qsizetype i = 0; i < desktopResults.size(); ++i)
        checks.insert(desktopAt + i, desktopResults[i]);

    const DiagnosisReport report(checks);
    ConsoleOutput::write(json ? QString::fromUtf8(report.json()) : report.text());
    return report.exitCode();
}
