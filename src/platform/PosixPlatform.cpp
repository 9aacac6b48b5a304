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

bool PosixPlatform::openInTextEditor(const QString& path, const std::function<void()>& failedLater)
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
    // A child of this program, not a detached one, so that its end says whether the desktop's handler started:
    // xdg-open ends with an error when, for one, the handler needs a terminal that is not there. An end later
    // than this is that of an editor that xdg-open waited for, and says nothing about the opening.
    constexpr qint64 kFailureMs = 10'000;
    // The object is deleted only when xdg-open has ended: its destructor would end xdg-open and the editor it
    // waits for. Until then it is listed, so that one still running when the program ends is not taken for lost
    // memory. With no pipes of its own, an editor that outlives this program keeps its output.
    static auto* const running = new QList<QProcess*>;
    auto* opener = new QProcess;
    running->append(opener);
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({QFileInfo(path).absoluteFilePath()});
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setInputChannelMode(QProcess::ForwardedInputChannel);
    QElapsedTimer since;
    since.start();
    QObject::connect(
        opener, &QProcess::finished, opener, [opener, since, path, failedLater](int code, QProcess::ExitStatus status) {
            if ((status != QProcess::NormalExit || code != 0) && since.elapsed() < kFailureMs) {
                qWarning().noquote() << QStringLiteral("Pylvane: cannot open %1: xdg-open ended with exit code %2")
                                            .arg(path)
                                            .arg(status == QProcess::NormalExit ? code : -1);
                if (failedLater)
                    failedLater();
            }
            running->removeOne(opener);
            opener->deleteLater();
        });
    opener->start();
    // The exec's outcome comes back at once: it does not wait for what xdg-open does.
    if (!opener->waitForStarted(kStartingMs)) {
        running->removeOne(opener);
        delete opener;
        return false;
    }
    editorStart_ = opener->processId();
    editorSince_.start();
    return true;
}

void PosixPlatform::messageBox(const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok);
    box.exec();
}
