#include "eventlog/LineReader.h"

#include <QIODevice>

LineReader::LineReader(QIODevice& device, qsizetype chunkSize) : device_(device), chunkSize_(chunkSize) {}

bool LineReader::fill()
{
    if (eof_)
        return false;
    buffer_.remove(0, pos_);
    pos_ = 0;
    const qsizetype old = buffer_.size();
    buffer_.resize(old + chunkSize_);
    const qint64 got = device_.read(buffer_.data() + old, chunkSize_);
    if (got < 0)
        ok_ = false;
    if (got <= 0) {
        buffer_.resize(old);
        eof_ = true;
        return false;
    }
    buffer_.resize(old + got);
    return true;
}

bool LineReader::readLine(QByteArray& line)
{
    line.clear();
    qsizetype scanned = pos_;
    for (;;) {
        for (qsizetype i = scanned; i < buffer_.size(); ++i) {
            const char c = buffer_[i];
            if (c != '\r' && c != '\n')
                continue;
            line = buffer_.mid(pos_, i - pos_);
            pos_ = i + 1;
            // A CR may be the first half of CR LF split across two reads.
            if (c == '\r' && pos_ == buffer_.size())
                fill();
            if (c == '\r' && pos_ < buffer_.size() && buffer_[pos_] == '\n')
                ++pos_;
            return true;
        }
        scanned = buffer_.size() - pos_;
        if (!fill()) {
            if (pos_ >= buffer_.size())
                return false;
            line = buffer_.mid(pos_);
            pos_ = buffer_.size();
            return true;
        }
    }
}

bool LineReader::readChunk(QByteArray& chunk)
{
    if (pos_ >= buffer_.size() && !fill())
        return false;
    if (pos_ == 0) {
        // The caller's last chunk, once it is done with it, becomes the next read's buffer: a large
        // file is then streamed through two buffers rather than a fresh allocation per chunk.
        chunk.swap(buffer_);
        buffer_.resize(0);
    } else {
        chunk = buffer_.mid(pos_);
        buffer_.clear();
    }
    pos_ = 0;
    return true;
}
