// What --status reads on Windows: each of the folder and the file opened once and judged on its handle.
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "outcome/StatusFile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

// A second name for the file, a folder in its place, a file too large to be one Pylvane wrote: each is refused
// with its reason, before the easy cases (nothing there, a good file) read as they should.
TEST(StatusFileWindows, WhatStandsThereIsJudgedOnWhatWasOpened)
{
    TempDir dir;
    const QString folder = dir.path(QStringLiteral("pylvane"));
    const QString file = folder + QStringLiteral("/status.json");
    QString why;
    EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
    EXPECT_TRUE(why.isEmpty()) << qPrintable(why);

    ASSERT_TRUE(QDir().mkdir(folder));
    writeFile(file, "{}");
    const QString second = dir.path(QStringLiteral("second.json"));
    ASSERT_TRUE(CreateHardLinkW(wide(QDir::toNativeSeparators(second)), wide(QDir::toNativeSeparators(file)), nullptr));
    EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
    EXPECT_EQ(why, QStringLiteral("the status file has more than one name"));
    ASSERT_TRUE(QFile::remove(second));

    writeFile(file, QByteArray(StatusFile::kMaxSize + 1, ' '));
    EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
    EXPECT_EQ(why, QStringLiteral("the status file is damaged"));

    ASSERT_TRUE(QFile::remove(file) && QDir().mkdir(file));
    EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
    EXPECT_EQ(why, QStringLiteral("the status file is not a regular file"));
    ASSERT_TRUE(QDir().rmdir(file));

    why.clear();
    EXPECT_FALSE(StatusFile::read(folder, &why).has_value());
    EXPECT_TRUE(why.isEmpty()) << qPrintable(why);
    writeFile(file, "{\"a\": 1}");
    EXPECT_EQ(StatusFile::read(folder, &why), QByteArray("{\"a\": 1}"));
}

} // namespace
