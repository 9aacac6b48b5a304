#include "EventLogFixture.h"

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

    for (const char* name : {"NUL", "CON", "\\\\.\\pipe\\PylvaneLog", "\\\\.\\NUL"}) {
        EventLog device(platform, QString::fromLatin1(name));
        EXPECT_FALSE(device.WriteLogEntry(HeaderStyle::HostHeader, " - Device3 OFF   ")) << name;
        EXPECT_FALSE(device.CreateLogFile(HeaderStyle::HostHeader)) << name;
    }
}

} // namespace
