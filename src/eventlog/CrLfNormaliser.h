#pragma once

#include <QByteArray>

// Turns every line end of a byte stream (CR, CR LF, lone LF) into CR LF and leaves every other
// byte as it is. Fed piece by piece, so a CR LF split between two pieces stays one line end.
class CrLfNormaliser {
public:
    // The normalised form of `piece`. Pieces that already use CR LF alone come back unchanged.
    QByteArray feed(const QByteArray& piece);
    // What ends the stream: CR LF when its last line had no line end, nothing otherwise.
    QByteArray finish() const;

private:
    bool lastWasCr_ = false;
    bool atLineStart_ = true;
};
