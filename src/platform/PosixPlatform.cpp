#include "platform/PosixPlatform.h"

#include "probes/ProcessAlive.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTime>

#include <ctime>
#include <cwchar>
#include <iterator>

#include <sys/stat.h>

std::unique_ptr<Platform> Platform::forThisSystem()
{
    return std::make_unique<PosixPlatform>();
}

bool PosixPlatform::isHiddenName(const QString& name)
{
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const QString base = name.mid(slash + 1);
    return base.startsWith(QLatin1Char('.'));
}

bool PosixPlatform::fileExists(const QString& name, FileMask mask) const
{
    // The text is one file name: wildcard characters never match, and an empty name is nothing.
    if (name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')))
        return false;
    const QByteArray native = QFile::encodeName(name);
    if (native.contains('\0'))
        return false;
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return mask == FileMask::IncludeHidden || !isHiddenName(name);
}

QString PosixPlatform::dateText() const
{
    // The user's short date is %x of the process's LC_TIME, which QCoreApplication takes from the
    // environment at start. The wide form arrives in Unicode whatever the locale's character set.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return {};
    wchar_t text[128];
    const std::size_t length = std::wcsftime(text, std::size(text), L"%x", &local);
    return QString::fromWCharArray(text, static_cast<qsizetype>(length));
}

QString PosixPlatform::timeText() const
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

bool PosixPlatform::startProgram(const QString& path, const Environment& environment)
{
    // Started directly, never through a shell, so the text cannot smuggle in a second command.
    QProcess process;
    process.setProgram(QFileInfo(path).absoluteFilePath());
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment)
        variables.insert(name, value);
    process.setProcessEnvironment(variables);
    return process.startDetached();
}

bool PosixPlatform::openInTextEditor(const QString& path)
{
    // The desktop's own choice of editor comes through xdg-open. Without it Qt would fall back to a web browser
    // or, failing that, report only that it found no launcher; this says what to install instead, in one line and
    // without a message box.
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
        qWarning().noquote() << QStringLiteral("Pylvane: cannot open %1: xdg-open was not found; it comes with the "
                                               "package xdg-utils")
                                    .arg(path);
        return false;
    }
    // Started here rather than through QDesktopServices, which does the same but keeps no process id: while the
    // xdg-open of the last request still runs (it is starting the editor), another request starts nothing, so
    // that pressing "Open Log" again and again opens one editor, not a pile of them. An xdg-open that stays
    // (one that waits for its editor) holds later requests back for a few seconds only.
    constexpr qint64 kStartingMs = 5'000;
    if (editorStart_ > 0 && editorSince_.isValid() && editorSince_.elapsed() < kStartingMs && processRuns(editorStart_))
        return true;
    qint64 pid = 0;
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absoluteFilePath()}, QString(), &pid))
        return false;
    editorStart_ = pid;
    editorSince_.start();
    return true;
}

void PosixPlatform::messageBox(const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok);
    box.exec();
}
