#include "platform/WorkingDirectory.h"

#include <QDir>
#include <QFileInfo>

QString enterWorkingDirectory(const QStringList& arguments, const QString& fallback)
{
    if (arguments.size() < 2 || arguments[1] != kWorkingDirectoryArgument)
        return {};
    const QString folder = arguments.value(2);
    QString problem;
    if (folder.isEmpty())
        problem = QStringLiteral("names no folder");
    // A relative one would be taken from wherever the system happened to start the program.
    else if (QDir::isRelativePath(folder))
        problem = QStringLiteral("is relative");
    else if (!QFileInfo::exists(folder))
        problem = QStringLiteral("does not exist");
    else if (QDir::setCurrent(folder))
        return {};
    else
        problem = QStringLiteral("cannot be entered");

    const QString named = QStringLiteral("Pylvane: the working directory given with %1, \"%2\", %3; ")
                              .arg(kWorkingDirectoryArgument, QDir::toNativeSeparators(folder), problem);
    if (!fallback.isEmpty() && QDir::setCurrent(fallback))
        return named + QStringLiteral("working in \"%1\" instead.").arg(QDir::toNativeSeparators(fallback));
    return named + QStringLiteral("\"%1\" cannot be entered either, so working in \"%2\".")
                       .arg(QDir::toNativeSeparators(fallback), QDir::toNativeSeparators(QDir::currentPath()));
}
