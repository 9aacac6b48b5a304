#include "settings/SectionLayout.h"

SectionLayout layoutOf(SettingsWindow::Section section)
{
    // clang-format off
    switch (section) {
    case SettingsWindow::Section::Cams:
        return {10, "IP Cam %1 :", "cc%1", "x%1", 1, 1320, 4440, "Picture1", ":/pictures/camera.png",
                "IP Cam %1", "IPv4 address"};
    case SettingsWindow::Section::Services:
        return {15, " %1 :", "Text%1", "Check%1", 1, 720, 3840, "Picture2", ":/pictures/gears.png",
                "Services and Apps %1", "Program file name"};
    case SettingsWindow::Section::Devices:
        return {10, "IP %1 :", "Text%1", "Check%1", 16, 840, 3960, "Picture3", ":/pictures/storage.png",
                "Device %1", "IPv4 address"};
    }
    // clang-format on
    return {};
}
