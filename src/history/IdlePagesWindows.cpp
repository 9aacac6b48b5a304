#include "history/IdlePages.h"

// SQLite is linked into pylvane.exe on Windows, whose working set the system trims by itself when memory is short.
void IdlePages::release() {}
