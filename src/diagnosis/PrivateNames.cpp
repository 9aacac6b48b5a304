#include "diagnosis/PrivateNames.h"

#include "diagnosis/DiagnosisSystem.h"
#include "diagnosis/WithinLimit.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>

namespace {

constexpr int kAccountsLimitMs = 1'000;

// Stand-ins while the text is worked on, so that a replacement is never taken for a name again (a user
// called "user" would otherwise turn "<user>" into "<<user>>").
const QString kUserMark = QStringLiteral("\x01u\x01");
const QString kHostMark = QStringLiteral("\x01h\x01");

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber();
}

// The system's own accounts and names name no one; "root" also stands in the remedies' "as root".
bool isPublic(const QString& name)
{
    static const QStringList kPublic = {QStringLiteral("root"), QStringLiteral("nobody"), QStringLiteral("localhost"),
                                        QStringLiteral("localhost.localdomain"), QStringLiteral("(none)")};
    return name.size() < 2 || kPublic.contains(name, Qt::CaseInsensitive);
}

// Replaces `name` in `text`, in any case, where it stands with no letter or digit beside it.
void replaceBounded(QString& text, const QString& name, const QString& with)
{
    for (qsizetype at = text.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(name, at, Qt::CaseInsensitive)) {
        const qsizetype end = at + name.size();
        if ((at > 0 && isWordChar(text[at - 1])) || (end < text.size() && isWordChar(text[end]))) {
            at = end;
            continue;
        }
        text.replace(at, name.size(), with);
        at += with.size();
    }
}

} // namespace

const PrivateNames& PrivateNames::here()
{
    // The account database may be a network service that does not answer; then the names that the environment
    // and the kernel give are taken out all the same.
    static const PrivateNames names(
        withinLimit<Found>(&DiagnosisSystem::privateNames, kAccountsLimitMs)
            .value_or(Found{{qEnvironmentVariable("HOME"), qEnvironmentVariable("USERPROFILE")},
                            {},
                            {qEnvironmentVariable("USER"), qEnvironmentVariable("LOGNAME"),
                             qEnvironmentVariable("USERNAME"), qEnvironmentVariable("SUDO_USER")},
                            {QSysInfo::machineHostName()}}));
    return names;
}

PrivateNames::PrivateNames(Found found)
{
    const auto addHome = [this](const QString& home, const QString& written) {
        const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(home));
        // A home of "/" would turn every path into nonsense; such an account has no private folder anyway.
        if (home.isEmpty() || clean == QStringLiteral("/") || QDir::isRelativePath(clean))
            return;
        for (const QString& form : {clean, QDir::toNativeSeparators(clean)})
            if (!std::any_of(homes_.begin(), homes_.end(), [&form](const auto& h) { return h.first == form; }))
                homes_.append({form, written});
    };
    for (const QString& home : found.homes)
        addHome(home, QStringLiteral("~"));
    for (const QString& home : found.sudoHomes)
        addHome(home, QStringLiteral("~") + kUserMark);
    // A home's own name is often the user's, and may be the only trace of it left in a path.
    for (const auto& home : QList(homes_))
        found.users << QFileInfo(home.first).fileName();
    for (const QString& user : found.users)
        if (!isPublic(user))
            names_.append({user, u'u'});
    for (const QString& host : found.hosts) {
        // The short name stands in many places where the full one does not.
        for (const QString& form : {host, host.section(u'.', 0, 0)})
            if (!isPublic(form))
                names_.append({form, u'h'});
    }
    const auto longestFirst = [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); };
    std::stable_sort(homes_.begin(), homes_.end(), longestFirst);
    std::stable_sort(names_.begin(), names_.end(), longestFirst);
}

QString PrivateNames::replaceNames(const QString& token) const
{
    QString result = token;
    for (const auto& [name, kind] : names_) {
        const QString with = kind == u'u' ? kUserMark : kHostMark;
        // A short name stands inside many of the report's own words (a user "pyl" in "PylvaneLog.txt", "dev" in
        // "device"): it is replaced only where no letter or digit stands beside it, as in "~/pyl_work".
        if (name.size() < 5)
            replaceBounded(result, name, with);
        else
            result.replace(name, with, Qt::CaseInsensitive);
    }
    return result;
}

QString PrivateNames::scrub(const QString& text) const
{
    QString result = text;
    // The system's own name is public, even where the machine is named after it ("debian").
    const QString system = QSysInfo::prettyProductName();
    const QString systemMark = QStringLiteral("\x01s\x01");
    if (system.size() > 1)
        result.replace(system, systemMark);
    result.replace(QStringLiteral("the Debian package"), QStringLiteral("\x01"
                                                                        "d\x01"));
    // The program's own name stays whole, unless a private name holds it ("pylvaneadmin").
    QStringList ownNames;
    const QString own = QStringLiteral("pylvane");
    if (std::none_of(names_.begin(), names_.end(),
                     [&own](const auto& name) { return name.first.contains(own, Qt::CaseInsensitive); })) {
        for (qsizetype at = result.indexOf(own, 0, Qt::CaseInsensitive); at >= 0;
             at = result.indexOf(own, at, Qt::CaseInsensitive)) {
            const QString mark = QStringLiteral("\x01p%1\x01").arg(ownNames.size());
            ownNames << result.mid(at, own.size());
            result.replace(at, own.size(), mark);
            at += mark.size();
        }
    }
    for (const auto& [home, written] : homes_) {
        for (qsizetype at = result.indexOf(home, 0, Qt::CaseInsensitive); at >= 0;
             at = result.indexOf(home, at, Qt::CaseInsensitive)) {
            // Only the home itself, not "/home/al" in "/home/alice".
            const qsizetype end = at + home.size();
            if (end < result.size() &&
                (isWordChar(result[end]) || result[end] == u'_' || result[end] == u'-' || result[end] == u'.')) {
                at = end;
                continue;
            }
            result.replace(at, home.size(), written);
            at += written.size();
        }
    }
    // Names with a space in them (Windows allows them) are looked for in the whole text; the others word by word.
    QString worked;
    for (const auto& [name, kind] : names_)
        if (name.contains(u' '))
            result.replace(name, kind == u'u' ? kUserMark : kHostMark, Qt::CaseInsensitive);
    qsizetype start = 0;
    while (start < result.size()) {
        qsizetype end = start;
        while (end < result.size() && !result[end].isSpace())
            ++end;
        worked += replaceNames(result.mid(start, end - start));
        while (end < result.size() && result[end].isSpace())
            worked += result[end++];
        start = end;
    }
    worked.replace(kUserMark, QStringLiteral("<user>"));
    worked.replace(kHostMark, QStringLiteral("<host>"));
    worked.replace(systemMark, system);
    for (qsizetype i = ownNames.size() - 1; i >= 0; --i)
        worked.replace(QStringLiteral("\x01p%1\x01").arg(i), ownNames[i]);
    worked.replace(QStringLiteral("\x01"
                                  "d\x01"),
                   QStringLiteral("the Debian package"));
    return worked;
}

QString PrivateNames::belowHome(const QString& path) const
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    for (const auto& [home, written] : homes_) {
        if (home.contains(u'\\'))
            continue;
        if (clean.compare(home, Qt::CaseInsensitive) == 0)
            return written;
        if (clean.startsWith(home + u'/', Qt::CaseInsensitive))
            return QDir::toNativeSeparators(written + clean.mid(home.size()));
    }
    return {};
}

QString PrivateNames::folder(const QString& path) const
{
    const QString below = belowHome(path);
    if (!below.isEmpty())
        return scrub(below);
    return DiagnosisSystem::folderKind(QDir::cleanPath(QDir::fromNativeSeparators(path)));
}

QString PrivateNames::file(const QString& path) const
{
    const QString below = belowHome(path);
    if (!below.isEmpty())
        return scrub(below);
    const QFileInfo info(QDir::cleanPath(QDir::fromNativeSeparators(path)));
    return scrub(info.fileName()) + QStringLiteral(" in ") + DiagnosisSystem::folderKind(info.absolutePath());
}
