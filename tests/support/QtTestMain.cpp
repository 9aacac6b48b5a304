#include <QApplication>
#include <gmock/gmock.h>

// Every test binary runs with a QApplication so that widgets, timers and QProcess work;
// the offscreen platform is chosen unless the caller set one.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
