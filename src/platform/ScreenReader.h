#pragma once

class QObject;
class QString;

// Has the screen reader speak `text`, which `source` has just shown, although the focus is elsewhere.
// Each system's bridge passes on different accessibility events, so each system sends its own.
void announceToScreenReader(QObject* source, const QString& text);
