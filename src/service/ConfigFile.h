#pragma once

#include <QByteArray>
#include <QString>

// The settings file named with --config (the service's /etc/pylvane/pylvane.conf), read once into memory so that
// what is checked is what is used: nothing can change it between the two. The file may be a link, as configuration
// tools make them, but what is read must be a regular file that no one but its owner (and root) may change, in a
// folder that only they may change: the failure command it names runs with this program's rights.
class ConfigFile {
public:
    struct Contents {
        QString refusal; // empty when read: "there is no such file", "another user's file that others may write"
        QByteArray bytes;
    };

    static Contents read(const QString& path);
};
