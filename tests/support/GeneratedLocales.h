#pragma once

#include "support/TempDir.h"

#include <QProcess>
#include <QProcessEnvironment>

// Locales compiled for the test into a folder of its own, which the C library searches when LOCPATH
// names it, so that a test does not depend on the locales the machine has installed.
class GeneratedLocales {
public:
    // Compiles `name` ("de_DE.UTF-8": the locale's source, a dot, its character set). False when
    // that failed.
    bool add(const QString& name)
    {
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        if (!dir_.isValid() || dot <= 0)
            return false;
        QProcess localedef;
        localedef.setProcessChannelMode(QProcess::MergedChannels);
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), name.left(dot), QStringLiteral("-f"), name.mid(dot + 1), path(name)});
        return localedef.waitForFinished(60'000) && localedef.exitStatus() == QProcess::NormalExit &&
               localedef.exitCode() == 0;
    }

    QString path(const QString& name = {}) const { return dir_.path(name); }

    // The environment of a program that is to run under `name` alone.
    QProcessEnvironment environment(const QString& name) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LOCPATH"), path());
        environment.insert(QStringLiteral("LC_ALL"), name);
        return environment;
    }

private:
    TempDir dir_;
};
