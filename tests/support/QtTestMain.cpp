#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <gmock/gmock.h>

// Every test binary runs with a QApplication so that widgets, timers and QProcess work;
// the offscreen platform is chosen unless the caller set one.
int main(int argc, char** argv)
{
    // Under Wine the runner starts a program once more that ended before it came here
    // (scripts/windows/wine-run.sh); this says it did come here.
    if (const char* mark = std::getenv("PYLVANE_MAIN_MARK")) {
        if (std::FILE* file = std::fopen(mark, "w"))
            std::fclose(file);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
