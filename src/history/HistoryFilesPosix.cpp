#include "history/HistoryFiles.h"

#include "eventlog/PosixFileChecks.h"
#include "history/HistorySchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString folderProblem(const struct stat& info)
{
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("the state folder is not a folder");
    // Anyone else who may change the folder could put a link in a file's place between this look and SQLite's open.
    if (info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("the state folder may be changed by another user");
    return {};
}

QString fileProblem(const QString& folder, const QString& name)
{
    struct stat info {};
    if (lstat(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), &info) != 0)
        return errno == ENOENT ? QString() : name + QStringLiteral(" cannot be looked at");
    if (S_ISLNK(info.st_mode))
        return name + QStringLiteral(" is a link");
    if (S_ISDIR(info.st_mode))
        return name + QStringLiteral(" is a folder");
    if (!S_ISREG(info.st_mode))
        return name + QStringLiteral(" is not a regular file");
    if (info.st_uid != geteuid())
        return name + QStringLiteral(" belongs to another user");
    if (!isOwnSingleFile(info))
        return name + QStringLiteral(" has more than one name");
    return {};
}

QString judgeNames(const QString& folder)
{
    for (const QString& name : HistoryFiles::names()) {
        const QString problem = fileProblem(folder, name);
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

} // namespace

QString HistoryFiles::prepare(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    if (lstat(path.constData(), &info) != 0) {
        if (errno != ENOENT)
            return QStringLiteral("the state folder cannot be looked at");
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent) || (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) ||
            lstat(path.constData(), &info) != 0)
            return QStringLiteral("the state folder cannot be made");
    }
    const QString problem = folderProblem(info);
    return problem.isEmpty() ? judgeNames(folder) : problem;
}

QString HistoryFiles::judge(const QString& folder)
{
    struct stat info {};
    if (lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return errno == ENOENT ? QString() : QStringLiteral("the state folder cannot be looked at");
    const QString problem = folderProblem(info);
    return problem.isEmpty() ? judgeNames(folder) : problem;
}

bool HistoryFiles::setAside(const QString& folder, const QString& stamp)
{
    const QStringList files = names();
    const QString base = folder + QLatin1Char('/') + files[0];
    const QString aside = base + QStringLiteral(".damaged-") + stamp;
    // The companions first: a -wal left beside a new database would be played into it.
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QByteArray from = QFile::encodeName(base + suffix);
        if (std::rename(from.constData(), QFile::encodeName(aside + suffix).constData()) != 0 && errno != ENOENT)
            ::unlink(from.constData());
    }
    return std::rename(QFile::encodeName(base).constData(), QFile::encodeName(aside).constData()) == 0 ||
           errno == ENOENT;
}
