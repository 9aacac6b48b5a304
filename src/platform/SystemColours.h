#pragma once

#include <QColor>

// The window system's colour for the background of an application's workspace, which Qt has no
// palette role for. It follows the user's theme where the system has one, high contrast included.
QColor applicationWorkspaceColour();
