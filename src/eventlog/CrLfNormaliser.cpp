#include "eventlog/CrLfNormaliser.h"

namespace {

// True when every CR in `data` is followed by LF and every LF preceded by CR, `cr` telling whether
// the byte before `data` was a CR. Written without branches so the compiler can vectorise it.
bool usesCrLfOnly(const char* data, qsizetype size, bool cr)
{
    if (size == 0)
        return !cr;
    // One byte wide, so that the vectorised loop keeps sixteen or more bytes per step.
    unsigned char bad = cr != (data[0] == '\n');
    for (qsizetype i = 1; i < size; ++i)
        bad |= static_cast<unsigned char>((data[i - 1] == '\r') != (data[i] == '\n'));
    return bad == 0 && data[size - 1] != '\r';
}

} // namespace

QByteArray CrLfNormaliser::feed(const QByteArray& piece)
{
    if (piece.isEmpty())
        return {};
    const char* data = piece.constData();
    const qsizetype size = piece.size();
    // A piece that ends in the first half of a CR LF is as clean as one that does not.
    const bool endsWithCr = data[size - 1] == '\r';
    if (usesCrLfOnly(data, endsWithCr ? size - 1 : size, lastWasCr_)) {
        // After a CR already written as CR LF, the LF that opens this piece is that same line end.
        const bool skipFirst = lastWasCr_;
        lastWasCr_ = endsWithCr;
        atLineStart_ = endsWithCr || data[size - 1] == '\n';
        const QByteArray clean = skipFirst ? piece.mid(1) : piece;
        return endsWithCr ? clean + '\n' : clean;
    }
    QByteArray out;
    out.reserve(size + size / 8 + 2);
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n' && lastWasCr_) {
            lastWasCr_ = false; // second half of a CR LF already written
            continue;
        }
        if (c == '\r' || c == '\n') {
            out.append("\r\n", 2);
            lastWasCr_ = c == '\r';
            atLineStart_ = true;
        } else {
            out.append(c);
            lastWasCr_ = false;
            atLineStart_ = false;
        }
    }
    return out;
}

QByteArray CrLfNormaliser::finish() const
{
    return atLineStart_ ? QByteArray() : QByteArrayLiteral("\r\n");
}
