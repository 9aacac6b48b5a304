#pragma once

#include <QString>
#include <QStringList>

// The command-line argument with which the system, restarting the program, names the working directory of the run
// it closed: `--working-directory <folder>`, the program's only one.
inline const QString kWorkingDirectoryArgument = QStringLiteral("--working-directory");

// Enters the folder that `arguments` (the program's, its name first) name with kWorkingDirectoryArgument. A folder
// that is relative, does not exist or cannot be entered gives way to `fallback`, where a start without one works
// (the user's Documents on Windows). Returns the line for standard error that says so, or that even `fallback`
// could not be entered; empty when the named folder was entered, or when none was named.
QString enterWorkingDirectory(const QStringList& arguments, const QString& fallback);
