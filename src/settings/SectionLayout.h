#pragma once

#include "settings/SettingsWindow.h"

// What tells the settings window's three sections apart: row count, captions, names, columns and picture.
struct SectionLayout {
    int rows;
    const char* rowLabel; // %1 is the row number
    const char* textName; // %1 is the field number
    const char* checkName;
    int firstNumber; // number of the first row's fields
    int textLeft;
    int checkLeft;
    const char* picture;
    const char* pictureResource;
    // What a screen reader calls a row's target (%1 is the row number), and what its field holds.
    const char* targetName;
    const char* textDescription;
};

SectionLayout layoutOf(SettingsWindow::Section section);
