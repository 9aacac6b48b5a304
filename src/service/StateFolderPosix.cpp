#include "service/StateFolder.h"

#include "outcome/StatusFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString firstOf(const QByteArray& list)
{
    return QFile::decodeName(list.split(':').value(0));
}

// A link only root could have placed where it is: root's own, in a folder only root may change.
bool rootsLink(const QString& folder, const struct stat& link)
{
    struct stat parent {};
    const QByteArray above = QFile::encodeName(QFileInfo(folder).absolutePath());
    return link.st_uid == 0 && ::lstat(above.constData(), &parent) == 0 && S_ISDIR(parent.st_mode) &&
           parent.st_uid == 0 && (parent.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

QString StateFolder::chosen(const QString& given, For use)
{
    if (!given.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(given));
    QStringList variables{QStringLiteral("STATE_DIRECTORY")};
    if (use == For::Asking)
        variables.prepend(QStringLiteral("PYLVANE_STATE_DIR"));
    for (const QString& variable : variables) {
        const QString folder = firstOf(qgetenv(variable.toLatin1().constData()));
        // A relative one would depend on where the asking command happens to run.
        if (!folder.isEmpty() && QDir::isAbsolutePath(folder))
            return QDir::cleanPath(folder);
    }
    return StatusFile::defaultFolder();
}

QString StateFolder::refusal(const QString& folder, For use)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? QString() : QStringLiteral("it cannot be looked at");
    if (S_ISLNK(st.st_mode)) {
        if (!rootsLink(folder, st))
            return QStringLiteral("it is a symbolic link");
        if (::stat(path.constData(), &st) != 0)
            return QStringLiteral("it is a symbolic link to nothing");
    }
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("it is not a folder");
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("other users may write into it");
    if (use == For::Run && st.st_uid != ::geteuid())
        return QStringLiteral("it is another user's folder");
    return {};
}

QString StateFolder::resolved(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return folder;
    char* target = ::realpath(path.constData(), nullptr);
    if (target == nullptr)
        return folder;
    const QString result = QFile::decodeName(target);
    std::free(target);
    return result;
}

bool StateFolder::make(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    return errno == ENOENT && QDir().mkpath(QFileInfo(folder).absolutePath()) && ::mkdir(path.constData(), 0700) == 0;
}
