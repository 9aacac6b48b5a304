#pragma once

#include "support/FakePlatform.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include "eventlog/EventLog.h"

#include <QFile>

#include <gtest/gtest.h>

inline const QByteArray kHostHeader =
    "Pylvane Log File , Created 07.12.2026 08:15:42\r\n" + QByteArray(79, '=') + "\r\n";
inline const QByteArray kProcessHeader =
    "-=K=- Pylvane Log File , Created 07.12.2026 08:15:42\r\n" + QByteArray(45, '=') + "\r\n";

inline QByteArray entry(const char* label)
{
    return QByteArray("07.12.2026 08:15:42 ") + label + "\r\n\r\n";
}

// A log in a folder of its own, written through a fake platform's clock.
class EventLogTest : public ::testing::Test {
protected:
    TempDir dir;
    FakePlatform platform;
    QString path = dir.path("PylvaneLog.txt");
    EventLog log{platform, path};

    QByteArray contents() const { return QFile::exists(path) ? readFile(path) : QByteArray("<missing>"); }
    void setContents(const QByteArray& bytes) { writeFile(path, bytes); }
};
