// Any bytes as an existing log, read as the writer reads it: two header lines, then the rest in
// chunks whose line ends become CR LF. Cut into chunks of any size, the same bytes read the same.
#include "FuzzCheck.h"

#include "eventlog/CrLfNormaliser.h"
#include "eventlog/LineReader.h"

#include <QBuffer>

namespace {

QByteArray readAsTheWriterDoes(const QByteArray& bytes, qsizetype chunkSize)
{
    QByteArray copy = bytes;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    LineReader reader(device, chunkSize);
    QByteArray result;
    QByteArray line;
    for (int n = 0; n < 2 && reader.readLine(line); ++n)
        result += line + "\r\n";
    result += '|';
    CrLfNormaliser normaliser;
    QByteArray chunk;
    while (reader.readChunk(chunk)) {
        // Fed in two pieces, so that a CR LF may also be split between feeds.
        const qsizetype half = chunk.size() / 2;
        result += normaliser.feed(chunk.left(half));
        result += normaliser.feed(chunk.mid(half));
    }
    FUZZ_REQUIRE(reader.ok());
    return result + normaliser.finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype chunkSize = 1 + data[0] % 16;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    const QByteArray whole = readAsTheWriterDoes(bytes, bytes.size() + 1);
    FUZZ_REQUIRE(readAsTheWriterDoes(bytes, chunkSize) == whole);
    // The normalised body has no line end other than CR LF.
    const QByteArray body = whole.mid(whole.indexOf('|') + 1);
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] == '\r')
            FUZZ_REQUIRE(i + 1 < body.size() && body[i + 1] == '\n');
        if (body[i] == '\n')
            FUZZ_REQUIRE(i > 0 && body[i - 1] == '\r');
    }
    return 0;
}
