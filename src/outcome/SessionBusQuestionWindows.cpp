#include "outcome/SessionBusQuestion.h"

// Windows has no session bus: notices go through the tray icon, accessibility through Windows' own means.
SessionBusQuestion::Answer SessionBusQuestion::ask(int)
{
    return Answer::Answered;
}

void SessionBusQuestion::leaveBusAlone() {}
