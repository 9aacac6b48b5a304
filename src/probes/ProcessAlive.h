#pragma once

// Whether the process `pid` still runs. A process that is there but may not be asked about (another user's)
// counts as running, as does any answer other than "no such process": a leftover file is removed only when its
// writer is surely gone.
bool processRuns(long long pid);
