#include "eventlog/CrLfNormaliser.h"
#include "eventlog/LineReader.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

struct Split {
    QList<QByteArray> lines; // the first two lines as read
    QByteArray rest;         // the rest, normalised
};

Split readAll(const QByteArray& bytes, qsizetype chunkSize)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer, chunkSize);
    Split split;
    QByteArray line;
    for (int i = 0; i < 2 && reader.readLine(line); ++i)
        split.lines << line;
    CrLfNormaliser normaliser;
    QByteArray chunk;
    while (reader.readChunk(chunk))
        split.rest += normaliser.feed(chunk);
    split.rest += normaliser.finish();
    return split;
}

TEST(LineReader, LinesEndAtCrCrLfOrLf)
{
    const Split split = readAll("one\r\ntwo\rthree\nfour", 1 << 20);
    EXPECT_EQ(split.lines, (QList<QByteArray>{"one", "two"}));
    EXPECT_EQ(split.rest, "three\r\nfour\r\n");

    EXPECT_EQ(readAll("\r\n\r\n", 1 << 20).lines, (QList<QByteArray>{"", ""}));
    EXPECT_EQ(readAll("only", 1 << 20).lines, QList<QByteArray>{"only"});
    EXPECT_TRUE(readAll("", 1 << 20).lines.isEmpty());
}

// Whatever the chunk size, a CR LF split across two reads is one line end, never two.
TEST(LineReader, ChunkBoundariesNeverChangeTheResult)
{
    QRandomGenerator random(20261207);
    const char alphabet[] = {'\r', '\n', 'a', '\r', '\n', 'b'};
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes;
        const int length = static_cast<int>(random.bounded(40));
        for (int i = 0; i < length; ++i)
            bytes.append(alphabet[random.bounded(6)]);
        const Split whole = readAll(bytes, 1 << 20);
        for (qsizetype chunk : {1, 2, 3, 5, 8}) {
            const Split pieces = readAll(bytes, chunk);
            ASSERT_EQ(pieces.lines, whole.lines) << bytes.toPercentEncoding().constData() << " chunk " << chunk;
            ASSERT_EQ(pieces.rest, whole.rest) << bytes.toPercentEncoding().constData() << " chunk " << chunk;
        }
        EXPECT_FALSE(whole.rest.contains("\r\r")) << "a lone CR became CR LF";
        EXPECT_EQ(whole.rest.count('\r'), whole.rest.count("\r\n"));
        EXPECT_EQ(whole.rest.count('\n'), whole.rest.count("\r\n"));
    }
}

TEST(CrLfNormaliser, CleanPiecesPassUnchangedAndSplitPairsStayOne)
{
    CrLfNormaliser normaliser;
    EXPECT_EQ(normaliser.feed("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(normaliser.feed("c\r"), "c\r\n");
    EXPECT_EQ(normaliser.feed("\nd"), "d");
    EXPECT_EQ(normaliser.finish(), "\r\n");
    EXPECT_EQ(normaliser.feed("\n"), "\r\n");
    EXPECT_EQ(normaliser.finish(), "");
}

} // namespace
