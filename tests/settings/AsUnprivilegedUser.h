#pragma once

#include <unistd.h>

// While it lives, file modes apply to the test: when the tests run as root, whom no mode stops,
// the user and group become "nobody" (65534). Files the test made as root then belong
// to someone else, which is what a read-only file or folder is to the user.
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser()
    {
        if (geteuid() != 0)
            return;
        // The real ids change too, since access(2), which Qt asks whether a file is writable,
        // looks at them; root stays the saved id, so the test can come back.
        if (setresgid(kNobody, kNobody, 0) != 0)
            return;
        if (setresuid(kNobody, kNobody, 0) != 0) {
            [[maybe_unused]] const int restored = setresgid(0, 0, 0);
            return;
        }
        dropped_ = true;
    }
    ~AsUnprivilegedUser()
    {
        if (!dropped_)
            return;
        [[maybe_unused]] const int user = setresuid(0, 0, 0);
        [[maybe_unused]] const int group = setresgid(0, 0, 0);
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

    // False only when running as root and the ids could not be changed.
    bool effective() const { return dropped_ || geteuid() != 0; }

private:
    static constexpr uid_t kNobody = 65534;
    bool dropped_ = false;
};
