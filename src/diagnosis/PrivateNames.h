#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// What of this user and this machine a report must not show, and how it is written instead: the home
// folders as "~" (the home of the user who ran sudo as "~<user>"), the user names as "<user>" and the host
// names, short and full, as "<host>". Names are found in any case, also inside longer words and paths, so
// that "~/Alice_work" and "/srv/alice-metrics" give nothing away.
class PrivateNames {
public:
    struct Found {
        QStringList homes;     // the user's own, each in every form it may be written in
        QStringList sudoHomes; // of the user who ran sudo
        QStringList users;
        QStringList hosts;
    };

    // Those of this process, gathered once.
    static const PrivateNames& here();

    explicit PrivateNames(Found found);

    QString scrub(const QString& text) const;
    // A folder as the report gives it: "~/…" below a home, else only what kind of folder it is ("a folder of
    // yours", "a shared folder"), never its path.
    QString folder(const QString& path) const;
    // A file the same way: "~/.config/Pylvane/Pylvane.conf", or "Pylvane.conf in a folder of yours".
    QString file(const QString& path) const;

private:
    // The part of `path` below a home, written from there; empty when it lies below none.
    QString belowHome(const QString& path) const;
    QString replaceNames(const QString& token) const;

    QList<std::pair<QString, QString>> homes_; // the home, how it is written; longest first
    QList<std::pair<QString, QChar>> names_;   // a name and the mark of its kind; longest first
};
