#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>

// Starts the child programs of a test that kills many of them. A start the system refuses proves nothing
// about what the test looks at, so such a start is made again, a bounded number of times, and counted for
// the test's closing line; each refusal is said on standard error with the system's reason.
class ChildStarts {
public:
    static constexpr int kTries = 3;

    // True once `child` runs; false after kTries refusals, the last reason in `why`.
    bool start(QProcess& child, const QString& program, const QStringList& arguments, QString* why = nullptr)
    {
        for (int attempt = 1;; ++attempt) {
            child.start(program, arguments);
            if (child.waitForStarted()) {
                ++started_;
                return true;
            }
            const QString reason = child.errorString();
            std::fprintf(stderr, "start %d of %d of %s refused after %d started: %s\n", attempt, kTries,
                         qPrintable(program), started_, qPrintable(reason));
            if (attempt == kTries) {
                if (why != nullptr)
                    *why = reason;
                return false;
            }
            ++restarts_;
        }
    }
    int restarts() const { return restarts_; }

private:
    int restarts_ = 0;
    int started_ = 0;
};
