#pragma once

// Gives back to the system the memory that writing a cycle leaves resident and that the next cycle, about
// seventeen minutes away, does not need kept: SQLite's code pages, which a write touches across more than a
// megabyte and which the system reads again from its page cache when next used (a hint: nothing is lost either way), and what the allocator holds free.
// Called on the history's worker once a write is over; it changes no data and nothing that runs relies on it.
class IdlePages {
public:
    static void release();
};
