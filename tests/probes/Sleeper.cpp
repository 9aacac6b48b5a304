#include <chrono>
#include <thread>

// A process that stays until it is killed, copied under the names that the process lookup tests look for.
int main()
{
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}
