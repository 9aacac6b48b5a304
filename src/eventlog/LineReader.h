#pragma once

#include <QByteArray>

class QIODevice;

// Reads a text file as bytes: whole lines (ended by CR, CR LF or LF) from its start, then the
// rest in chunks, so a large file is streamed rather than held in memory.
class LineReader {
public:
    explicit LineReader(QIODevice& device, qsizetype chunkSize = 1 << 20);

    // The next line without its line end. False at the end of the file.
    bool readLine(QByteArray& line);
    // The next piece of the rest of the file, exactly as stored. False at the end of the file.
    bool readChunk(QByteArray& chunk);
    // False when the device reported a read error.
    bool ok() const { return ok_; }

private:
    bool fill();

    QIODevice& device_;
    qsizetype chunkSize_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool eof_ = false;
    bool ok_ = true;
};
