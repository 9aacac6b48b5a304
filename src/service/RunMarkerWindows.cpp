#include "service/RunMarker.h"

#include "outcome/StatusFile.h"
#include "service/CheckNowEvent.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <windows.h>

namespace {

// The file is opened without sharing its writing: a second run with the same folder cannot take it.
class WindowsRunMarker : public RunMarker {
public:
    WindowsRunMarker(HANDLE file, const Previous& previous) : file_(file) { previous_ = previous; }
    ~WindowsRunMarker() override { CloseHandle(file_); }
    WindowsRunMarker(const WindowsRunMarker&) = delete;
    WindowsRunMarker& operator=(const WindowsRunMarker&) = delete;

    void orderlyEnd() override
    {
        SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file_);
    }

private:
    HANDLE file_;
};

} // namespace

std::unique_ptr<RunMarker> RunMarker::take(const QString& folder, QString* problem)
{
    const std::wstring path = (folder + QLatin1Char('/') + kFileName).toStdWString();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *problem = GetLastError() == ERROR_SHARING_VIOLATION
                       ? QStringLiteral("another Pylvane runs with the state folder %1").arg(folder)
                       : QStringLiteral("%1 in %2 cannot be opened").arg(kFileName, folder);
        return nullptr;
    }
    char buffer[512] = {};
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr);
    Previous previous;
    const QList<QByteArray> lines = QByteArray(buffer, int(got)).split('\n');
    previous.pid = lines.value(0).toLongLong();
    previous.unorderlyEnd = previous.pid > 0;
    previous.started = QString::fromLatin1(lines.value(2));
    const QByteArray text = QByteArray::number(qint64(GetCurrentProcessId())) + "\n\n" +
                            StatusFile::timeText(QDateTime::currentDateTime()).toLatin1() + '\n';
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!SetEndOfFile(file) || !WriteFile(file, text.constData(), DWORD(text.size()), &written, nullptr) ||
        written != DWORD(text.size())) {
        *problem = QStringLiteral("%1 in %2 cannot be written").arg(kFileName, folder);
        CloseHandle(file);
        return nullptr;
    }
    return std::make_unique<WindowsRunMarker>(file, previous);
}

RunMarker::Asked RunMarker::askToCheck(const QString& folder, QString* message)
{
    const HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, checkNowEventName(folder).toStdWString().c_str());
    if (event == nullptr) {
        const bool denied = GetLastError() == ERROR_ACCESS_DENIED;
        *message = denied ? QStringLiteral("the Pylvane that runs with the state folder %1 may not be asked by this "
                                           "user")
                                .arg(folder)
                          : QStringLiteral("no Pylvane runs with the state folder %1").arg(folder);
        return denied ? Asked::NotAllowed : Asked::NoneRuns;
    }
    const bool set = SetEvent(event) != 0;
    CloseHandle(event);
    *message = set ? QStringLiteral("asked Pylvane to check now")
                   : QStringLiteral("no Pylvane runs with the state folder %1").arg(folder);
    return set ? Asked::Yes : Asked::NoneRuns;
}
