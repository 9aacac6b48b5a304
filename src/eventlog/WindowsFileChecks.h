#pragma once

#include <windows.h>

// What the log writer asks of every file it opens beside the log: a file on disk, not a folder, not
// a reparse point (a symbolic link or a junction), with a single name, and owned by the user running
// the program, by the administrators or by the system. In a folder that others may write, anything
// else may have been planted: a link to a private file would copy it into the log. The handle must
// have been opened with FILE_FLAG_OPEN_REPARSE_POINT and READ_CONTROL.
bool isOwnSingleFile(HANDLE handle);

// The same file under both handles.
bool sameFile(HANDLE a, HANDLE b);
