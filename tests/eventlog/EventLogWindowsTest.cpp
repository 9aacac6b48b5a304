#include "EventLogFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <windows.h>

namespace {

DWORD attributesOf(const QString& path)
{
    return GetFileAttributesW(path.toStdWString().c_str());
}

// The replacement keeps the log's hidden and system attributes; a read-only log, a device name or a
// pipe is never written.
TEST_F(EventLogTest, AttributesAreKeptAndOnlyDiskFilesAreWritten)
{
    setContents(kHostHeader);
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(path.toStdWString().c_str(), kept));
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_EQ(attributesOf(path) & kept, kept);
    EXPECT_EQ(contents(), kHostHeader + entry(" - Device1 OFF   "));

    ASSERT_TRUE(SetFileAttributesW(path.toStdWString().c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device2 OFF   "));
    EXPECT_EQ(contents(), kHostHeader + entry(" - Device1 OFF   "));
    SetFileAttributesW(path.toStdWString().c_str(), FILE_ATTRIBUTE_NORMAL);

    // A bare device name is looked up beside the working folder, where the log's lock would go: the test's own
    // folder, so that no lock file is left in the folder the tests were started from.
    const QString startedIn = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const auto back = qScopeGuard([&startedIn] { QDir::setCurrent(startedIn); });
    for (const char* name : {"NUL", "CON", "\\\\.\\pipe\\PylvaneLog", "\\\\.\\NUL"}) {
        EventLog device(platform, QString::fromLatin1(name));
        EXPECT_FALSE(device.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   ")) << name;
        EXPECT_FALSE(device.CreateLogFile(HeaderStyle::HostHeader)) << name;
    }
}

// A link planted under the kept-entries file's name or the log's name is neither followed nor read: a hard
// link to a private file, or a symbolic link where the system lets one be made.
TEST_F(EventLogTest, LinksAreLeftAlone)
{
    TempDir elsewhere;
    const QString target = elsewhere.path("private.txt");
    writeFile(target, "my private words\r\n");
    const QString pending = EventLog::pendingFileName(path);
    const std::wstring pendingName = pending.toStdWString();
    ASSERT_TRUE(CreateHardLinkW(pendingName.c_str(), target.toStdWString().c_str(), nullptr));
    ASSERT_TRUE(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device1 OFF   "));
    EXPECT_FALSE(contents().contains("private")) << contents().constData();
    EXPECT_EQ(readFile(target), "my private words\r\n");
    ASSERT_TRUE(DeleteFileW(pendingName.c_str()));

    for (const QString& name : {pending, path}) {
        QFile::remove(name);
        if (!CreateSymbolicLinkW(name.toStdWString().c_str(), target.toStdWString().c_str(),
                                 SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
            GTEST_SKIP() << "no symbolic link can be made here (error " << GetLastError() << ")";
        // Wine says it made the link, and leaves nothing under its name.
        const DWORD attributes = GetFileAttributesW(name.toStdWString().c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            GTEST_SKIP() << "no symbolic link was made here, though the system said so";
        EXPECT_EQ(log.WriteLogEntry(HeaderStyle::HostHeader, " - Device2 OFF   "), name == pending);
        EXPECT_EQ(readFile(target), "my private words\r\n");
        EXPECT_FALSE(QFile(path).exists() && !QFileInfo(path).isSymLink() && contents().contains("private"));
        QFile::remove(name);
    }
}

} // namespace
