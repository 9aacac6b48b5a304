#pragma once

#include "HistoryGenerator.h"

#include "history/HistorySchema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <string>

// A state folder beside the build, on the disk the program's own would be on (not a tmpfs), holding history.sqlite
// after 400 days of 35 targets that end now, so that the last 24 hours and 90 days a view reads are full.
class HistoryBenchFolder {
public:
    static constexpr int kDays = 400;

    HistoryBenchFolder()
        : dir_(std::make_unique<QTemporaryDir>(QCoreApplication::applicationDirPath() +
                                               QStringLiteral("/history-bench-XXXXXX")))
    {
        if (!dir_->isValid()) {
            error_ = "no folder for the database";
            return;
        }
        HistoryGenerator::Options options;
        options.days = kDays;
        result_ = HistoryGenerator::generate(QFile::encodeName(file()).toStdString(), options);
        error_ = result_.error;
    }

    // Empty when the database is ready.
    const std::string& error() const { return error_; }
    const HistoryGenerator::Result& made() const { return result_; }
    QString path() const { return dir_->path(); }
    QString file() const { return QDir(dir_->path()).filePath(QString::fromLatin1(HistorySchema::kFileName)); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    HistoryGenerator::Result result_;
    std::string error_;
};
