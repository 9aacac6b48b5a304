#include "metrics/MetricsFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

MetricsFile::Status MetricsFile::write(const QString& folder, const QByteArray& text)
{
    const QFileInfo place(folder);
    if (!place.exists())
        return Status::FolderMissing;
    if (!place.isDir())
        return Status::NotAFolder;
    const QString path = QDir(folder).filePath(kFileName);
    const QFileInfo file(path);
    if (file.isSymLink() || (file.exists() && !file.isFile()))
        return Status::FileRefused;
    removeLeftovers(folder);

    QSaveFile save(path);
    // A folder that allows no new file gets no writing into the old one in place either.
    save.setDirectWriteFallback(false);
    if (!save.open(QIODevice::WriteOnly))
        return Status::NotWritable;
    // The exporter runs as another user.
    save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    if (save.write(text) != text.size() || !save.commit())
        return Status::NotWritable;
    return Status::Written;
}

QString MetricsFile::reasonOf(Status status)
{
    switch (status) {
    case Status::Written:
        return {};
    case Status::FolderMissing:
        return QStringLiteral("the folder does not exist");
    case Status::NotAFolder:
        return QStringLiteral("it is not a folder");
    case Status::NotWritable:
        return QStringLiteral("the folder cannot be written");
    case Status::FileRefused:
        return QStringLiteral("%1 there is not a regular file").arg(kFileName);
    case Status::NoAnswer:
        return QStringLiteral("the folder does not answer");
    case Status::Failed:
        break;
    }
    return QStringLiteral("the writer failed");
}

void MetricsFile::removeLeftovers(const QString& folder)
{
    // The names QSaveFile gives its temporary files where the file system has no unnamed ones.
    static const QRegularExpression kTemporary(QStringLiteral("^pylvane\\.prom\\.[A-Za-z0-9]{6}$"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList({kFileName + QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink() && kTemporary.match(entry.fileName()).hasMatch() && entry.lastModified() < before)
            QFile::remove(entry.filePath());
    }
}
