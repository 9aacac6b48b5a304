#include "settings/AsUnprivilegedUser.h"
#include "support/RecordingEvents.h"
#include "support/TempDir.h"

#include "metrics/MetricsFile.h"
#include "metrics/MetricsText.h"
#include "metrics/MetricsWriter.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

// Whether fsync fails as on a disk that is full by the time the data is flushed. This fsync stands in for the C
// library's in this whole test program; it is switched on only in a child process.
std::atomic<bool> gFsyncFails{false};

extern "C" int fsync(int fd)
{
    if (gFsyncFails) {
        errno = ENOSPC;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}

namespace {

const QString kHostile = QString::fromUtf8("a \"quoted\" C:\\path\\ and\na line feed \\n \xe2\x82\xac");

MetricsReport sampleReport()
{
    MetricsReport report;
    using State = MetricsTarget::State;
    report.targets = {{"device", 1, "Device1", "10.0.0.1", State::Up},
                      {"camera", 3, "Cam3", kHostile, State::Down},
                      {"process", 2, "Process2", "off.exe", State::Off},
                      {"process", 4, "Process4", "unknown.exe", State::Unknown}};
    report.targetsDown = 1;
    report.cycleEnd = QDateTime::fromMSecsSinceEpoch(1767225600250);
    report.durationSeconds = 2.5;
    report.pendingEntries = 3;
    return report;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Type and permission bits, without following a link.
mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & (S_IFMT | 07777) : 0;
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Writes to `path` until the file system has no room left.
bool fillUp(const QString& path)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    while (filler.write(QByteArray(4096, 'x')) == 4096) {
    }
    return true;
}

// A mount namespace of this process's own: as root directly, as anyone else inside a user namespace of its own in
// which the user keeps the same ids. Only in a child process, which has one thread.
bool ownMountNamespace()
{
    if (::geteuid() == 0)
        return ::unshare(CLONE_NEWNS) == 0;
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    // Each map in one write, as the kernel takes them.
    const auto put = [](const char* path, const QByteArray& line) {
        const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
        const bool done = fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size();
        if (fd >= 0)
            ::close(fd);
        return done;
    };
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 && put("/proc/self/setgroups", "deny") &&
           put("/proc/self/uid_map", uid + ' ' + uid + " 1") && put("/proc/self/gid_map", gid + ' ' + gid + " 1");
}

class MetricsTest : public ::testing::Test {
protected:
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("metrics"));
    const QString file = folder + QStringLiteral("/pylvane.prom");
    const QByteArray text = MetricsText::render(sampleReport());
};

TEST_F(MetricsTest, PrometheusReadsTheFileWhateverTheTargetTextsHold)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    QProcess parser;
    // Debian's own Python, for which its package installs the client.
    parser.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(PYLVANE_PARSE_METRICS), file});
    ASSERT_TRUE(parser.waitForFinished(30000));
    ASSERT_EQ(parser.exitCode(), 0) << "needs python3-prometheus-client (make test-deps): "
                                    << parser.readAllStandardError().constData();
    const QJsonArray families = QJsonDocument::fromJson(parser.readAllStandardOutput()).array();

    QMap<QString, QJsonObject> byName;
    for (const QJsonValue& family : families)
        byName[family[QStringLiteral("family")].toString()] = family.toObject();
    ASSERT_EQ(byName.keys(), QStringList({"pylvane_cycle_duration_seconds", "pylvane_last_cycle_end_timestamp_seconds",
                                          "pylvane_log_entries_pending", "pylvane_target_up", "pylvane_targets_down"}))
        << text.constData();
    for (const QJsonObject& family : byName) {
        EXPECT_EQ(family[QStringLiteral("type")].toString(), QStringLiteral("gauge"));
        EXPECT_FALSE(family[QStringLiteral("documentation")].toString().isEmpty());
    }
    // Switched off and unknown targets are left out.
    const QJsonArray up = byName[QStringLiteral("pylvane_target_up")][QStringLiteral("samples")].toArray();
    ASSERT_EQ(up.size(), 2);
    const QJsonObject cam = up[1].toObject();
    EXPECT_EQ(cam[QStringLiteral("labels")].toObject().toVariantMap(),
              QVariantMap({{"kind", "camera"}, {"number", "3"}, {"name", "Cam3"}, {"text", kHostile}}));
    EXPECT_EQ(cam[QStringLiteral("value")].toDouble(), 0.0);
    EXPECT_EQ(up[0][QStringLiteral("value")].toDouble(), 1.0);
    const auto value = [&byName](const char* name) {
        return byName[QLatin1String(name)][QStringLiteral("samples")][0][QStringLiteral("value")].toDouble();
    };
    EXPECT_EQ(value("pylvane_targets_down"), 1.0);
    EXPECT_EQ(value("pylvane_last_cycle_end_timestamp_seconds"), 1767225600.25);
    EXPECT_EQ(value("pylvane_cycle_duration_seconds"), 2.5);
    EXPECT_EQ(value("pylvane_log_entries_pending"), 3.0);
    // The exporter runs as another user.
    EXPECT_TRUE(QFileInfo(file).permissions() & QFileDevice::ReadOther);
}

// The folder may be writable by others, who can plant a link at the name at any time: the file is
// written under a new name of its own and renamed over the link, so what a link points at is never
// opened.
TEST_F(MetricsTest, ALinkPlantedAsTheFileIsReplacedAndWhatItPointsAtKept)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString victim = dir.path(QStringLiteral("victim"));
    ASSERT_TRUE(writeFile(victim, "private"));
    ASSERT_EQ(::chmod(QFile::encodeName(victim).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(victim, file));
    const mode_t umask = ::umask(077);
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    ::umask(umask);
    EXPECT_EQ(fileBytes(victim), QByteArray("private"));
    EXPECT_EQ(modeOf(victim), 0100600);
    EXPECT_EQ(modeOf(file), 0100644) << "a regular file the exporter, another user, can read";
    EXPECT_EQ(fileBytes(file), text);
    EXPECT_EQ(namesIn(folder), QStringList{"pylvane.prom"});
    // A dangling one the same; a folder there is refused.
    ASSERT_TRUE(QFile::remove(file) && QFile::link(dir.path(QStringLiteral("nowhere")), file));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    EXPECT_FALSE(QFileInfo::exists(dir.path(QStringLiteral("nowhere"))));
    EXPECT_EQ(modeOf(file), 0100644);
    ASSERT_TRUE(QFile::remove(file) && QDir().mkdir(file));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::FileRefused);
    EXPECT_EQ(namesIn(folder), QStringList{"pylvane.prom"});
}

// A disk that fills up: at the write (a small tmpfs of the test's own, filled up beside the good file), or only at
// the flush, as on a network share or with delayed allocation (the C library's fsync answers ENOSPC). Each row runs
// in a child process: the tmpfs in a mount namespace of its own (with a user namespace when not root), the failing
// fsync apart from the rest of the tests. The good file stays, it is told as a full disk, and nothing is left.
struct DiskFailure {
    const char* name;
    bool atTheFlush;
};

void PrintTo(const DiskFailure& row, std::ostream* out)
{
    *out << row.name;
}

class MetricsFullDisk : public MetricsTest, public ::testing::WithParamInterface<DiskFailure> {};

TEST_P(MetricsFullDisk, KeepsTheOldFileAndLeavesNothing)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    const QByteArray path = QFile::encodeName(folder);
    const pid_t child = ::fork();
    if (child == 0) {
        if (GetParam().atTheFlush) {
            if (!writeFile(file, "good"))
                ::_exit(255);
            gFsyncFails = true;
        } else if (!ownMountNamespace() || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                   ::mount("pylvane-test", path.constData(), "tmpfs", 0, "size=16k") != 0 || !writeFile(file, "good") ||
                   !fillUp(folder + QStringLiteral("/filler"))) {
            ::_exit(255);
        }
        const MetricsFile::Status status = MetricsFile::write(folder, text);
        gFsyncFails = false;
        QStringList left = namesIn(folder);
        left.removeAll(QStringLiteral("filler"));
        ::_exit((status == MetricsFile::Status::DiskFull ? 0 : 1) | (fileBytes(file) == "good" ? 0 : 2) |
                (left == QStringList{"pylvane.prom"} ? 0 : 4));
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 255)
        GTEST_SKIP() << "no tmpfs in a mount namespace of our own here (user namespaces switched off?)";
    EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "not told as a full disk";
    EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "the good file was changed";
    EXPECT_EQ(WEXITSTATUS(status) & 4, 0) << "a temporary file was left";
    EXPECT_EQ(MetricsFile::reasonOf(MetricsFile::Status::DiskFull), QStringLiteral("the disk is full"));
}

INSTANTIATE_TEST_SUITE_P(Rows, MetricsFullDisk,
                         ::testing::Values(DiskFailure{"AtTheWrite", false}, DiskFailure{"AtTheFlush", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Something standing at the temporary file's name before the writer comes, as anyone who may write a shared folder
// could plant it under a name the random one may be: nothing is opened or made through it, it stays as it was, and
// so does the good file.
struct Planted {
    const char* name;
    std::function<bool(const QString& at, const QString& victim)> plant;
};

void PrintTo(const Planted& row, std::ostream* out)
{
    *out << row.name;
}

class MetricsPlantedTemporary : public MetricsTest, public ::testing::WithParamInterface<Planted> {};

TEST_P(MetricsPlantedTemporary, IsNeitherOpenedNorReplaced)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(writeFile(file, "good"));
    const QString victim = dir.path(QStringLiteral("victim"));
    ASSERT_TRUE(writeFile(victim, "private"));
    ASSERT_EQ(::chmod(QFile::encodeName(victim).constData(), 0600), 0);
    // This writer's own pid: a leftover of a writer that runs, which the clean-up leaves alone.
    const QString temporary = MetricsFile::temporaryName(::getpid());
    const QString planted = folder + QLatin1Char('/') + temporary;
    ASSERT_TRUE(GetParam().plant(planted, victim));
    const mode_t before = modeOf(planted);
    const QByteArray bytes = fileBytes(planted);

    EXPECT_EQ(MetricsFile::writeAs(folder, text, temporary), MetricsFile::Status::NotWritable);
    EXPECT_EQ(fileBytes(victim), QByteArray("private"));
    EXPECT_EQ(modeOf(victim), 0100600);
    EXPECT_FALSE(QFileInfo::exists(victim + QStringLiteral("-made"))) << "a file was made through a link";
    EXPECT_EQ(modeOf(planted), before);
    EXPECT_EQ(fileBytes(planted), bytes);
    EXPECT_EQ(fileBytes(file), QByteArray("good"));
    EXPECT_EQ(namesIn(folder), (QStringList{temporary, QStringLiteral("pylvane.prom")}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MetricsPlantedTemporary,
    ::testing::Values(Planted{"ALinkToAPrivateFile",
                              [](const QString& at, const QString& victim) { return QFile::link(victim, at); }},
                      Planted{"ALinkToWhereNothingIsYet",
                              [](const QString& at, const QString& victim) {
                                  return QFile::link(victim + QStringLiteral("-made"), at);
                              }},
                      Planted{"AFileOfItsOwn",
                              [](const QString& at, const QString&) { return writeFile(at, "mine"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MetricsTest, AFolderThatIsALinkIsWrittenThrough)
{
    const QString real = dir.path(QStringLiteral("exporter"));
    ASSERT_TRUE(QDir().mkdir(real) && QFile::link(real, folder));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    EXPECT_EQ(fileBytes(real + QStringLiteral("/pylvane.prom")), text);
    EXPECT_TRUE(QFileInfo(folder).isSymLink());
}

TEST_F(MetricsTest, AMissingFolderOrAFileInItsPlaceIsToldApart)
{
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::FolderMissing);
    EXPECT_FALSE(QFileInfo::exists(folder)) << "the folder was made";
    ASSERT_TRUE(writeFile(folder, "a file"));
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::NotAFolder);
    EXPECT_EQ(fileBytes(folder), QByteArray("a file"));
}

// ".pylvane.prom.<pid>.<random>", the temporary file of the writer with that pid.
TEST_F(MetricsTest, LeftoversOfAKilledWriterGoButNotThoseOfARunningOne)
{
    ASSERT_TRUE(QDir().mkdir(folder));
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const auto leftover = [this](qint64 pid, const char* random) {
        return folder + QStringLiteral("/.pylvane.prom.%1.%2").arg(pid).arg(QLatin1String(random));
    };
    const QString killed = leftover(gone, "Ab12Cd34");
    const QString running = leftover(::getpid(), "Xy34Zw56");
    const QString runningLong = leftover(::getpid(), "Lo99Ng00");
    const QString other = folder + QStringLiteral("/.pylvane.prom.keep-me");
    const QString link = leftover(gone, "Li99Nk00");
    const QString theirs = leftover(gone, "Th31Rs00");
    const QString target = dir.path(QStringLiteral("target"));
    for (const QString& path : {killed, running, runningLong, other, theirs, target})
        ASSERT_TRUE(writeFile(path, "x"));
    ASSERT_TRUE(QFile::link(target, link));
    // Only root can give it away; as an ordinary user it is the user's own, and goes.
    [[maybe_unused]] const int given = ::chown(QFile::encodeName(theirs).constData(), 65534, 65534);
    const bool otherUser = QFileInfo(theirs).ownerId() != ::geteuid();
    const utimbuf longAgo{1000000000, 1000000000};
    for (const QString& path : {runningLong, other, target})
        ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &longAgo), 0);
    EXPECT_EQ(MetricsFile::write(folder, text), MetricsFile::Status::Written);
    EXPECT_FALSE(QFileInfo::exists(killed));
    EXPECT_FALSE(QFileInfo::exists(runningLong));
    EXPECT_TRUE(QFileInfo::exists(running));
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(fileBytes(target), QByteArray("x"));
    EXPECT_EQ(QFileInfo::exists(theirs), otherUser) << "another user's file was removed";
}

// The writer is this program itself, started with its own option.
class MetricsWriterTest : public MetricsTest {
protected:
    MetricsFile::Status writeAndWait(MetricsWriter& writer)
    {
        QSignalSpy written(&writer, &MetricsWriter::written);
        writer.write(sampleReport());
        if (written.isEmpty() && !written.wait(30000))
            return MetricsFile::Status::Failed;
        return written.first().first().value<MetricsFile::Status>();
    }
    RecordingEvents events;
};

TEST_F(MetricsWriterTest, EachChangeOfTheFoldersConditionIsToldOnce)
{
    MetricsWriter writer(folder, events, QStringLiteral(PYLVANE_EXECUTABLE));
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::FolderMissing);
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::FolderMissing);
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Written);
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Written);
    EXPECT_EQ(fileBytes(file), text);
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the folder does not exist",
                           "The metrics are written to " + folder + " again"}));
}

// A sticky folder open to all, where pylvane.prom is another user's, a file or a link to a private
// file of the user's: the rename is refused, the user's file is kept, nothing is left, and the
// system log hears of it once.
TEST_F(MetricsWriterTest, ASharedFolderWhereTheFileIsAnothersIsToldOnce)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give pylvane.prom to another user, and then to be an ordinary one";
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
    ASSERT_TRUE(writeFile(file, "theirs"));
    const QString victim = dir.path(QStringLiteral("victim"));
    ASSERT_TRUE(writeFile(victim, "private"));
    ASSERT_EQ(::chown(QFile::encodeName(victim).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(victim).constData(), 0600), 0);
    // The writer runs as the ordinary user, who may not reach a build folder inside a private one (a fresh
    // clone in a folder of mktemp's): a copy of the program in the test's own folder is started instead.
    const QString program = dir.path(QStringLiteral("pylvane"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PYLVANE_EXECUTABLE), program));
    MetricsWriter writer(folder, events, program);
    {
        AsUnprivilegedUser user;
        if (!user.effective())
            GTEST_SKIP() << "could not become an ordinary user";
        EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::NotWritable);
    }
    EXPECT_EQ(fileBytes(file), QByteArray("theirs"));
    ASSERT_TRUE(QFile::remove(file) && QFile::link(victim, file));
    {
        AsUnprivilegedUser user;
        EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::NotWritable);
    }
    EXPECT_EQ(fileBytes(victim), QByteArray("private"));
    EXPECT_EQ(namesIn(folder), QStringList{"pylvane.prom"});
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the folder cannot be written"}));
}

TEST_F(MetricsWriterTest, AFullDiskIsToldAsSuch)
{
    // Standing in for a writer on a full disk, which answers 7.
    MetricsWriter writer(folder, events, QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("printf '\\007'; exec cat >/dev/null")});
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::DiskFull);
    EXPECT_EQ(events.messages(), QStringList({"The metrics could not be written to " + folder + ": the disk is full"}));
}

TEST_F(MetricsWriterTest, AWriterThatDoesNotEndHoldsNothingAndIsToldOnce)
{
    // Standing in for a writer stuck on a share that does not answer.
    MetricsWriter writer(folder, events, QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("exec sleep 600")});
    QSignalSpy written(&writer, &MetricsWriter::written);
    writer.write(sampleReport());
    writer.write(sampleReport());
    writer.write(sampleReport());
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0][0].value<MetricsFile::Status>(), MetricsFile::Status::NoAnswer);
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the folder does not answer"}));
}

TEST_F(MetricsWriterTest, AWriterThatEndsWithoutAnAnswerIsAFailureAndStartsAgain)
{
    MetricsWriter writer(folder, events, QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 0")});
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Failed);
    EXPECT_EQ(writeAndWait(writer), MetricsFile::Status::Failed);
    EXPECT_EQ(events.messages(),
              QStringList({"The metrics could not be written to " + folder + ": the writer failed"}));
}

TEST_F(MetricsWriterTest, NoFolderWritesNothing)
{
    MetricsWriter writer(QString(), events, QStringLiteral("false"));
    QSignalSpy written(&writer, &MetricsWriter::written);
    writer.write(sampleReport());
    EXPECT_FALSE(written.wait(200));
    EXPECT_TRUE(events.events.isEmpty());
}

} // namespace
