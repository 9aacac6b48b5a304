// `pylvane --diagnose --json` run as the built program, one fault put in per row, each with the verdict its
// check must give; every row also holds the run to five seconds and the report to nothing private.
#include "history/HistoryDatabase.h"
#include "outcome/PrivateBus.h"
#include "support/Emulation.h"
#include "support/PrivateDisplay.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include <csignal>
#include <functional>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kAddress = "10.213.47.91";
const QByteArray kProcess = "zqxprocname.exe";
const QByteArray kCommand = "secretcmd-alert";
const char* const kDiagnosisMessageId = "7c1e4b9a52d34f6e8a0b3d5f9e2c6a18";

// How the program is started: as it is, or with something of the system taken away.
enum class Run {
    AsUser,
    AsNobody,
    NoEchoRights,
    NoJournal,
    FakeJournal,
    HungNotifications,
    WindowsOnly,
    Named,
    NamedNoHome,
    NamedSudo,
    AsNobodyIfRoot,
    Headless // the service's run: --headless with its settings file and state folder
};

// Names that no real account or machine has, and that the report must leave out in any case and inside any word.
const QByteArray kUser = "qzorbelwick";
const QByteArray kHost = "quixhostzz";
const QByteArray kDomain = "corp.example";

// The display and the session bus a row gives the program, each as a user may find it.
enum class Desktop { Offscreen, StoppedBusDaemon, StoppedXServer, NoXServer, XServerThatAnswersOnce };

struct Home {
    TempDir dir;
    QString path(const QString& name = {}) const { return dir.path(name); }
    QString work() const { return path(QStringLiteral("work")); }
};

struct Fault {
    const char* name;
    Run run;
    const char* check;
    const char* verdict;
    const char* said; // in the check's summary or remedy
    std::function<void(Home&)> plant;
    Desktop desktop = Desktop::Offscreen;
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append)) << path.toStdString();
    file.write(bytes);
}

// A fake journal: the socket bound where the program looks for it, the program run, and the datagram it
// sent printed on standard error.
const char* const kFakeJournal = R"(
import socket, subprocess, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind("/run/systemd/journal/socket")
code = subprocess.call(sys.argv[1:])
s.settimeout(1)
try:
    sys.stderr.write(s.recv(65536).decode("utf-8", "replace"))
except socket.timeout:
    pass
sys.exit(code)
)";

// As the user qzorbelwick on the host quixhostzz.corp.example, in namespaces of the test's own: a user namespace maps
// whoever runs the test to the user id 0, to which a copy of the account list gives that name and the home HOME.
// Under sudo, root runs it in the folder of the user who typed it, the sudo user's id being 64123.
QStringList namedCommand(Run run, const QString& root)
{
    const bool sudo = run == Run::NamedSudo;
    const QString uid = sudo ? QStringLiteral("64123") : QStringLiteral("0");
    QFile passwd(root + QStringLiteral("/passwd"));
    QFile system(QStringLiteral("/etc/passwd"));
    if (!passwd.open(QIODevice::WriteOnly) || !system.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : system.readAll().split('\n'))
        if (!line.isEmpty() && (sudo || !line.startsWith("root:")))
            passwd.write(line + '\n');
    passwd.write(kUser + ":x:" + uid.toLatin1() + ":" + uid.toLatin1() + ":Q Z:" + root.toUtf8() + "/home/" + kUser +
                 ":/bin/sh\n");
    passwd.close();
    const QString home = QStringLiteral("\"$1/home/") + kUser + QLatin1Char('"');
    const QString environment =
        run == Run::NamedNoHome ? QStringLiteral("-u HOME -u USER -u LOGNAME -u XDG_CONFIG_HOME -u XDG_STATE_HOME")
        : sudo
            ? QStringLiteral("USER=root LOGNAME=root SUDO_USER=") + kUser +
                  QStringLiteral(" SUDO_UID=64123 SUDO_GID=64123 HOME=\"$1/root-home\" XDG_STATE_HOME=") + home +
                  QStringLiteral("/.local/state")
            : QStringLiteral("USER=") + kUser + QStringLiteral(" HOME=") + home + QStringLiteral(" XDG_STATE_HOME=") +
                  home + QStringLiteral("/QUIXHOSTZZ.state/x.QuixHostZZ.Corp.Example-state");
    QStringList command{QStringLiteral("unshare"), QStringLiteral("-u"), QStringLiteral("-m")};
    if (!sudo)
        command.insert(1, QStringLiteral("-Ur"));
    return command + QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                 QStringLiteral("hostname ") + kHost + u'.' + kDomain +
                                     QStringLiteral(" && mount --bind \"$1/passwd\" /etc/passwd && cd \"$1/home/") +
                                     kUser + QStringLiteral("/Qzorbelwick_work\" && exec env ") + environment +
                                     QStringLiteral(" \"$0\" --diagnose --json"),
                                 QStringLiteral(PYLVANE_EXECUTABLE), root};
}

QStringList commandOf(Run run, const QString& root)
{
    if (run == Run::Named || run == Run::NamedNoHome || run == Run::NamedSudo)
        return namedCommand(run, root);
    const QString nobody = QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups ");
    const QString program = QStringLiteral("\"$0\" --diagnose --json");
    QString script;
    switch (run) {
    case Run::AsNobody:
        script = QStringLiteral("exec ") + nobody + program;
        break;
    case Run::AsNobodyIfRoot:
        script = QStringLiteral("exec ") + (geteuid() == 0 ? nobody : QString()) + program;
        break;
    case Run::NoEchoRights:
        // The namespace's ping group range admits no group; user and group "nobody" hold no capability.
        return {QStringLiteral("unshare"),
                QStringLiteral("-n"),
                QStringLiteral("/bin/sh"),
                QStringLiteral("-c"),
                QStringLiteral("echo '1 0' > /proc/sys/net/ipv4/ping_group_range && exec ") + nobody + program,
                QStringLiteral(PYLVANE_EXECUTABLE)};
    case Run::NoJournal:
        return {QStringLiteral("unshare"),
                QStringLiteral("-m"),
                QStringLiteral("/bin/sh"),
                QStringLiteral("-c"),
                QStringLiteral("mount -t tmpfs none /run && exec ") + program,
                QStringLiteral(PYLVANE_EXECUTABLE)};
    case Run::FakeJournal:
        return {QStringLiteral("unshare"),
                QStringLiteral("-m"),
                QStringLiteral("/bin/sh"),
                QStringLiteral("-c"),
                QStringLiteral("mount -t tmpfs none /run && mkdir -p /run/systemd/journal && exec python3 -c '") +
                    QString::fromLatin1(kFakeJournal) + QStringLiteral("' \"$0\" --diagnose --json"),
                QStringLiteral(PYLVANE_EXECUTABLE)};
    case Run::Headless:
        return {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                program + QStringLiteral(" --headless --config \"$1/.config/Pylvane/Pylvane.conf\" --state-dir "
                                         "\"$1/state\""),
                QStringLiteral(PYLVANE_EXECUTABLE), root};
    default:
        script = QStringLiteral("exec ") + program;
    }
    return {QStringLiteral("/bin/sh"), QStringLiteral("-c"), script, QStringLiteral(PYLVANE_EXECUTABLE)};
}

void plantNames(Home& home)
{
    const QString own = home.path(QStringLiteral("home/") + kUser);
    for (const QString& folder :
         {own + QStringLiteral("/Qzorbelwick_work"), own + QStringLiteral("/.local/state/pylvane"),
          home.path(QStringLiteral("srv/quixhostzz-metrics"))})
        ASSERT_TRUE(QDir().mkpath(folder));
    QFile settings(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")));
    ASSERT_TRUE(settings.open(QIODevice::ReadWrite));
    const QByteArray text =
        settings.readAll().replace(home.path().toUtf8() + "/metrics", home.path().toUtf8() + "/srv/quixhostzz-metrics");
    settings.resize(0);
    settings.write(text);
}

// The sudo user's own folders, and a log of theirs in the folder sudo was typed in.
void plantSudo(Home& home)
{
    plantNames(home);
    const QString own = home.path(QStringLiteral("home/") + kUser);
    const QString work = own + QStringLiteral("/Qzorbelwick_work");
    writeFile(work + QStringLiteral("/PylvaneLog.txt"), "");
    for (const QString& path : {own, work, work + QStringLiteral("/PylvaneLog.txt"), own + QStringLiteral("/.local"),
                                own + QStringLiteral("/.local/state"), own + QStringLiteral("/.local/state/pylvane")})
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 64123, 64123), 0);
}

// A history with one cycle, on 1 March 2026, written the program's way; with a damaged file set aside beside it.
void plantHistory(Home& home, bool damagedBeside)
{
    const QString folder = home.path(QStringLiteral(".local/state/pylvane"));
    HistoryDatabase database(folder);
    ASSERT_EQ(database.open(), HistoryDatabase::Open::Ready);
    HistoryCycle cycle;
    cycle.endedMs = QDateTime(QDate(2026, 3, 1), QTime(12, 0)).toMSecsSinceEpoch();
    cycle.startedBy = QStringLiteral("schedule");
    cycle.checks.push_back(
        {QStringLiteral("camera"), 1, QStringLiteral("Cam1"), QStringLiteral("10.213.47.92"), QStringLiteral("up"), 3});
    ASSERT_EQ(database.writeCycle(cycle), HistoryDatabase::Outcome::Written);
    if (damagedBeside)
        writeFile(folder + QStringLiteral("/history.sqlite.damaged-20260101-000000"), "not a database");
}

const Fault kFaults[] = {
    {"EchoWorksForRoot", Run::AsUser, "echo", "ok", "127.0.0.1 answered", {}},
    {"NoEchoRights", Run::NoEchoRights, "echo", "fail", "setcap cap_net_raw+ep", {}},
    {"NoSessionBus", Run::AsUser, "notifications", "warn", "no session bus", {}},
    {"HungNotificationService", Run::HungNotifications, "notifications", "warn", "did not answer within 1 s", {}},
    {"NoJournalSocket", Run::NoJournal, "system-log", "warn", "neither the journal", {}},
    {"JournalTakesTheEvent", Run::FakeJournal, "system-log", "ok", kDiagnosisMessageId, {}},
    {"WritableWorkingFolder", Run::AsNobody, "log", "ok", "0 kept entries", {}},
    {"UnwritableWorkingFolder", Run::AsNobody, "log", "fail", "cannot be written",
     [](Home& home) {
         QFile::setPermissions(home.work(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
     }},
    {"LinkAsLog", Run::AsUser, "log", "fail", "PylvaneLog.txt is a symbolic link",
     [](Home& home) { QFile::link(QStringLiteral("/etc/passwd"), home.work() + QStringLiteral("/PylvaneLog.txt")); }},
    {"FolderAsKeptEntries", Run::AsUser, "log", "fail", "PylvaneLog.txt.pending is a folder",
     [](Home& home) { QDir(home.work()).mkdir(QStringLiteral("PylvaneLog.txt.pending")); }},
    {"KeptEntriesCounted", Run::AsUser, "log", "ok", "2 kept entries",
     [](Home& home) { writeFile(home.work() + QStringLiteral("/PylvaneLog.txt.pending"), "one\ntwo\n"); }},
    {"CleanSettings",
     Run::AsUser,
     "settings",
     "ok",
     "7 of 71 values present; enabled: 1 devices, 1 cams, 1 processes",
     {}},
    {"DamagedSettingsLine", Run::AsUser, "settings", "warn", "lines that cannot be read: c3b",
     [](Home& home) { writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")), "c3b=\"1\n"); }},
    // A run without a desktop: the desktop's lines do not apply, and its settings file is judged as the run
    // judges it, whatever the desktop program would make of it.
    {"HeadlessHasNoDesktop", Run::Headless, "desktop", "n/a", "does not apply to a run without a desktop", {}},
    {"HeadlessHasNoNotices", Run::Headless, "notifications", "n/a", "does not apply", {}},
    {"HeadlessSettingsOthersMayWrite", Run::Headless, "settings", "fail", "is not used: other users may write it",
     [](Home& home) { ::chmod(QFile::encodeName(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf"))), 0666); }},
    {"HeadlessDamagedSettingsLine", Run::Headless, "settings", "fail", "a run without a desktop refuses the file",
     [](Home& home) { writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")), "c3b=\"1\n"); }},
    {"PrivateMetricsFolder", Run::AsUser, "metrics", "ok", "no pylvane.prom yet", {}},
    {"MetricsFolderWritableByOthers", Run::AsUser, "metrics", "warn", "others may write",
     [](Home& home) { QFile::setPermissions(home.path(QStringLiteral("metrics")), QFileDevice::Permissions(0x7777)); }},
    {"FolderAsMetricsFile", Run::AsUser, "metrics", "fail", "a folder stands at pylvane.prom",
     [](Home& home) { QDir(home.path(QStringLiteral("metrics"))).mkdir(QStringLiteral("pylvane.prom")); }},
    // The writer's own rules: a link at the name is replaced, another user's name in a sticky folder is not.
    {"OthersLinkInStickyMetricsFolder", Run::AsNobody, "metrics", "fail",
     "a shared folder with its sticky bit: another user's file stands there",
     [](Home& home) {
         ASSERT_EQ(::chown(QFile::encodeName(home.path(QStringLiteral("metrics"))).constData(), 0, 0), 0);
         ::chmod(QFile::encodeName(home.path(QStringLiteral("metrics"))).constData(), 01777);
         QFile::link(home.work(), home.path(QStringLiteral("metrics/pylvane.prom")));
     }},
    // Root may replace another user's name there, as the writer run by root does.
    {"OthersFileInStickyFolderForRoot", Run::AsUser, "metrics", "warn", "another user's file stands at pylvane.prom",
     [](Home& home) {
         if (::geteuid() != 0)
             GTEST_SKIP() << "needs root: the row plants another user's file";
         const QByteArray folder = QFile::encodeName(home.path(QStringLiteral("metrics")));
         writeFile(home.path(QStringLiteral("metrics/pylvane.prom")), "");
         ASSERT_EQ(::chown(folder + "/pylvane.prom", 65534, 65534), 0);
         ASSERT_EQ(::chmod(folder.constData(), 01777), 0);
     }},
    {"LinkToFolderAsMetricsFile", Run::AsUser, "metrics", "ok", "a link stands at pylvane.prom, which the next write",
     [](Home& home) { QFile::link(home.work(), home.path(QStringLiteral("metrics/pylvane.prom"))); }},
    {"MetricsFolderWritableByGroup", Run::AsUser, "metrics", "warn", "its group may write into the folder",
     [](Home& home) { ::chmod(QFile::encodeName(home.path(QStringLiteral("metrics"))).constData(), 0775); }},
    {"ThirtyDamagedLines", Run::AsUser, "settings", "warn", "line 19, and 20 more",
     [](Home& home) {
         for (int i = 0; i < 30; ++i)
             writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")), "x=\"\n");
     }},
    {"ValueOfAnotherType", Run::AsUser, "settings", "warn", "values that cannot be read: c1, d1",
     [](Home& home) {
         writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")),
                   "c1=@Variant(\\0\\0\\0\\x19\\0\\0\\0\\0\\x1\\0\\0\\0\\x2)\nd1=@Point(1 2)\n");
     }},
    {"AddressThatNamesNoHost", Run::AsUser, "settings", "warn", "Device3: an address that names no host",
     [](Home& home) { writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")), "e3=0.0.0.0\ne3b=1\n"); }},
    {"BoxValueYes", Run::AsUser, "settings", "warn", "box values other than 0 or 1, which mean unticked: e2b",
     [](Home& home) { writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")), "e2b=yes\nc2b=0\n"); }},
    {"HostNameAsAddress", Run::AsUser, "settings", "warn", "Device2: not an IPv4 address, so it is never checked",
     [](Home& home) { writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")), "e2=localhost\ne2b=1\n"); }},
    {"TextHandlerInATerminal", Run::AsUser, "log-viewer", "warn", "zqxview.desktop, runs in a terminal",
     [](Home& home) {
         writeFile(home.path(QStringLiteral(".config/mimeapps.list")),
                   "[Default Applications]\ntext/plain=zqxview.desktop;\n");
         QDir().mkpath(home.path(QStringLiteral(".local/share/applications")));
         writeFile(home.path(QStringLiteral(".local/share/applications/zqxview.desktop")),
                   "[Desktop Entry]\nType=Application\nExec=sh %f\nTerminal=true\n");
     }},
    // A FIFO at the first list is passed over, not waited on.
    {"FifoAtTheAssociationList", Run::AsUser, "log-viewer", "warn", "zqxview.desktop, runs in a terminal",
     [](Home& home) {
         ASSERT_EQ(::mkfifo(QFile::encodeName(home.path(QStringLiteral(".config/mimeapps.list"))).constData(), 0600),
                   0);
         QDir().mkpath(home.path(QStringLiteral(".local/share/applications")));
         writeFile(home.path(QStringLiteral(".local/share/applications/mimeapps.list")),
                   "[Added Associations]\ntext/plain=zqxview.desktop\n");
         writeFile(home.path(QStringLiteral(".local/share/applications/zqxview.desktop")),
                   "[Desktop Entry]\nExec=sh\nTerminal=true\n");
     }},
    // A program named pylvane that runs in another folder of the user's, and ends on its own.
    {"RunningPylvaneElsewhere", Run::AsUser, "log", "ok", "writes its log in ~/elsewhere",
     [](Home& home) {
         ASSERT_TRUE(QDir().mkpath(home.path(QStringLiteral("elsewhere"))));
         ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), home.path(QStringLiteral("pylvane"))));
         ASSERT_TRUE(QProcess::startDetached(home.path(QStringLiteral("pylvane")), {QStringLiteral("4")},
                                             home.path(QStringLiteral("elsewhere"))));
     }},
    {"TextHandlerWithoutItsProgram", Run::AsUser, "log-viewer", "warn", "names a program that is not there",
     [](Home& home) {
         writeFile(home.path(QStringLiteral(".config/mimeapps.list")),
                   "[Default Applications]\ntext/plain=zqxgone.desktop\n");
         QDir().mkpath(home.path(QStringLiteral(".local/share/applications")));
         writeFile(home.path(QStringLiteral(".local/share/applications/zqxgone.desktop")),
                   "[Desktop Entry]\nExec=zqx-no-such-editor %f\n");
     }},
    {"AutostartIsInformation", Run::AsUser, "autostart", "info", "start at sign-in", {}},
    {"DamagedStatusFile", Run::AsUser, "status-file", "warn", "the status file is damaged",
     [](Home& home) {
         const QString folder = home.path(QStringLiteral(".local/state/pylvane"));
         QDir().mkpath(folder);
         QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
         writeFile(folder + QStringLiteral("/status.json"), "{\"format\": 1}");
     }},
    {"NoHistoryYet", Run::AsUser, "history", "info", "no history yet; 400 days are kept", {}},
    {"HistoryKept", Run::AsUser, "history", "ok", "kept from 2026-03-01; 400 days are kept",
     [](Home& home) { plantHistory(home, false); }},
    {"DamagedHistorySetAside", Run::AsUser, "history", "warn", "1 damaged file(s) set aside",
     [](Home& home) { plantHistory(home, true); }},
    {"LinkAsHistoryLog", Run::AsUser, "history", "fail", "history.sqlite-wal is a link, so no history is kept",
     [](Home& home) {
         plantHistory(home, false);
         QFile::link(QStringLiteral("/etc/passwd"),
                     home.path(QStringLiteral(".local/state/pylvane/history.sqlite-wal")));
     }},
    {"FolderAsHistory", Run::AsUser, "history", "fail", "history.sqlite is a folder",
     [](Home& home) { QDir().mkpath(home.path(QStringLiteral(".local/state/pylvane/history.sqlite"))); }},
    {"HistoryOfANewerPylvane", Run::AsUser, "history", "fail", "written by a newer Pylvane",
     [](Home& home) {
         const QString folder = home.path(QStringLiteral(".local/state/pylvane"));
         QDir().mkpath(folder);
         SqliteConnection connection;
         ASSERT_EQ(connection.open((folder + QStringLiteral("/history.sqlite")).toStdString(),
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
                   SQLITE_OK);
         ASSERT_EQ(connection.exec("PRAGMA user_version = 9"), SQLITE_OK);
     }},
    // The names of the user, the sudo user and the host, in other cases, inside longer words, in folders inside and
    // outside the home folder; and with HOME unset.
    {"NamesInFolderNames", Run::Named, "metrics", "ok", "set, a folder of yours, not writable by others", plantNames},
    {"NamesWithoutHome", Run::NamedNoHome, "settings", "warn", "HOME is unset", plantNames},
    {"NamesUnderSudo", Run::NamedSudo, "status-file", "fail", "without sudo", plantSudo},
    {"SudoUsersLogInTheFolderTypedIn", Run::NamedSudo, "log", "fail", "without sudo", plantSudo},
    {"EventSourceNotRegistered", Run::WindowsOnly, "system-log", "warn", "--register-event-source", {}},
    // Services that take a connection and never answer: the run still ends within its bound, and says what hung.
    {"StoppedBusDaemonTray",
     Run::AsNobodyIfRoot,
     "desktop",
     "warn",
     "the session bus did not answer within 1 s",
     {},
     Desktop::StoppedBusDaemon},
    {"StoppedBusDaemonNotifications",
     Run::AsNobodyIfRoot,
     "notifications",
     "warn",
     "the session bus did not answer within 1 s",
     {},
     Desktop::StoppedBusDaemon},
    {"StoppedBusDaemonAccessibility",
     Run::AsNobodyIfRoot,
     "accessibility",
     "warn",
     "screen readers cannot reach",
     {},
     Desktop::StoppedBusDaemon},
    {"StoppedXServer",
     Run::AsNobodyIfRoot,
     "desktop",
     "warn",
     "did not answer within 1 s",
     {},
     Desktop::StoppedXServer},
    {"NoXServer", Run::AsNobodyIfRoot, "desktop", "warn", "refuses connections", {}, Desktop::NoXServer},
    {"XServerThatAnswersOnlyOnce",
     Run::AsNobodyIfRoot,
     "desktop",
     "warn",
     "the display did not answer within",
     {},
     Desktop::XServerThatAnswersOnce},
};

class DiagnosisTest : public testing::TestWithParam<Fault> {};

TEST_P(DiagnosisTest, ReportsTheFaultAndNothingPrivate)
{
    const Fault& fault = GetParam();
    PYLVANE_SKIP_WITHOUT_CHILD_PROGRAMS();
    if (fault.run == Run::WindowsOnly)
        GTEST_SKIP() << "the event source is Windows' own: the run of the built pylvane.exe under Wine covers it";
    // Rows that run the program as another user, in namespaces of their own, or with root's right to send echo.
    const bool needsRoot = (fault.run != Run::AsUser && fault.run != Run::HungNotifications &&
                            fault.run != Run::Named && fault.run != Run::NamedNoHome &&
                            fault.run != Run::AsNobodyIfRoot && fault.run != Run::Headless) ||
                           std::string_view(fault.name) == "EchoWorksForRoot";
    if (std::string_view(fault.name) == "EchoWorksForRoot" && std::getenv("PYLVANE_UNDER_QEMU"))
        GTEST_SKIP() << "under qemu-user the emulated program may open no ICMP socket, even as root";
    if (needsRoot && geteuid() != 0)
        GTEST_SKIP() << "needs root: the row runs the program as another user, in a namespace of its own, or with "
                        "root's right to send echo";
    Home home;
    ASSERT_TRUE(home.dir.isValid());
    const QByteArray root = home.path().toUtf8();
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".config/Pylvane")));
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("work")));
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("metrics")));
    // Distinctive values that must never show in the report: addresses, a process name, the failure command.
    writeFile(home.path(QString::fromLatin1(kCommand)), "#!/bin/sh\n");
    QFile::setPermissions(home.path(QString::fromLatin1(kCommand)),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    writeFile(home.path(QStringLiteral(".config/Pylvane/Pylvane.conf")),
              "[General]\na1=\"" + root + "/" + kCommand + "\"\ne1=\"" + kAddress +
                  "\"\ne1b=\"1\"\nc1=\"10.213.47.92\"\n"
                  "c1b=\"1\"\nd1=\"" +
                  kProcess + "\"\nd1b=\"1\"\nMetricsFolder=\"" + root + "/metrics\"\n");
    if (fault.run == Run::AsNobody || fault.run == Run::NoEchoRights ||
        (fault.run == Run::AsNobodyIfRoot && geteuid() == 0)) {
        ASSERT_EQ(QProcess::execute(QStringLiteral("chown"),
                                    {QStringLiteral("-R"), QStringLiteral("65534:65534"), home.path()}),
                  0);
    }
    // After the chown, so that what a row plants may be another user's.
    if (fault.plant)
        fault.plant(home);
    if (IsSkipped() || HasFatalFailure())
        return;
    if ((fault.run == Run::Named || fault.run == Run::NamedNoHome) &&
        QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-Urum"), QStringLiteral("true")}) != 0)
        GTEST_SKIP() << "needs user namespaces (unshare -Urum), which this system does not give an ordinary user";

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_CURRENT_DESKTOP"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home.path(QStringLiteral(".local/state")));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + home.path(QStringLiteral("no-bus")));
    PrivateBus bus;
    if (fault.run == Run::HungNotifications) {
        if (bus.address().isEmpty())
            GTEST_SKIP() << "dbus-daemon could not start a session bus (Debian package dbus-daemon)";
        ASSERT_TRUE(
            bus.startStandIn(QStringLiteral(PYLVANE_NOTIFICATION_STANDIN), home.path(QStringLiteral("record"))));
        // It keeps the name, and the calls to it wait for an answer that never comes.
        ASSERT_EQ(::kill(pid_t(bus.standInPid()), SIGSTOP), 0);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    }
    std::optional<PrivateDisplay> display;
    if (fault.desktop != Desktop::Offscreen) {
        if (fault.desktop != Desktop::NoXServer && fault.desktop != Desktop::XServerThatAnswersOnce &&
            !PrivateDisplay::available())
            GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
        display.emplace(fault.desktop == Desktop::NoXServer                ? PrivateDisplay::Kind::Nothing
                        : fault.desktop == Desktop::XServerThatAnswersOnce ? PrivateDisplay::Kind::AnswersOnce
                                                                           : PrivateDisplay::Kind::Xvfb);
        ASSERT_FALSE(display->name().isEmpty()) << "no private display could be made";
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("DISPLAY"), display->name());
        if (fault.desktop == Desktop::StoppedXServer)
            display->pause();
        if (fault.desktop == Desktop::StoppedBusDaemon) {
            if (bus.address().isEmpty())
                GTEST_SKIP() << "dbus-daemon could not start a session bus (Debian package dbus-daemon)";
            bus.pause();
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        }
    }

    const QStringList command = commandOf(fault.run, home.path());
    ASSERT_FALSE(command.isEmpty());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.work());
    QElapsedTimer clock;
    clock.start();
    program.start(command.first(), command.mid(1));
    ASSERT_TRUE(program.waitForStarted(10'000)) << program.errorString().toStdString();
    const bool ended = program.waitForFinished(20'000);
    const qint64 elapsed = clock.elapsed();
    const QByteArray output = program.readAllStandardOutput();
    const QByteArray errors = program.readAllStandardError();
    ASSERT_TRUE(ended);
    // Under emulation the program's own start takes seconds more; the checks keep their limits there too.
    EXPECT_LT(elapsed, std::getenv("PYLVANE_UNDER_QEMU") ? 20'000 : 5'000)
        << "the whole run is bounded, whatever hangs";

    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(output, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << output.toStdString() << errors.toStdString();
    const int expectedCode = report[QStringLiteral("failures")].toInt() > 0   ? 2
                             : report[QStringLiteral("warnings")].toInt() > 0 ? 1
                                                                              : 0;
    EXPECT_EQ(program.exitCode(), expectedCode);
    QJsonObject check;
    for (const QJsonValue& entry : report[QStringLiteral("checks")].toArray()) {
        if (entry[QStringLiteral("id")].toString() == QLatin1String(fault.check))
            check = entry.toObject();
    }
    ASSERT_FALSE(check.isEmpty()) << "no check " << fault.check << " in\n" << output.toStdString();
    EXPECT_EQ(check[QStringLiteral("verdict")].toString().toStdString(), fault.verdict) << output.toStdString();
    const QString said =
        check[QStringLiteral("summary")].toString() + u' ' + check[QStringLiteral("remedy")].toString();
    EXPECT_TRUE(said.contains(QLatin1String(fault.said))) << said.toStdString();
    if (fault.run == Run::FakeJournal) {
        EXPECT_TRUE(errors.contains(QByteArray("MESSAGE_ID=") + kDiagnosisMessageId)) << errors.toStdString();
    }
    for (const QByteArray& secret : {kAddress, QByteArray("10.213.47.92"), kProcess, kCommand, root})
        EXPECT_FALSE(output.contains(secret)) << secret.toStdString() << " in\n" << output.toStdString();
    for (const QByteArray& name : {kUser, kHost, kDomain})
        EXPECT_FALSE(output.toLower().contains(name)) << name.toStdString() << " in\n" << output.toStdString();
    EXPECT_TRUE(report[QStringLiteral("summary")].toString().startsWith(QStringLiteral("Pylvane ")));
}

INSTANTIATE_TEST_SUITE_P(Faults, DiagnosisTest, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

} // namespace
