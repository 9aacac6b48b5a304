#include <unistd.h>

// A process that stays until it is killed, copied under the names that the process lookup tests look for.
int main()
{
    for (;;) {
        pause();
    }
}
