#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

// The text of an INI file, read line by line so that one line that makes no sense spoils nothing
// but itself, and rewritten so that every line but the values being set keeps its bytes.
// Top-level keys are those before the first section header and those under "[General]".
class IniText {
public:
    explicit IniText(QByteArray bytes);

    // False when some line could not be read: a line that is neither blank, a comment, a section
    // header nor "key=value", a header without ']', an unclosed quote, a backslash ending the
    // line, or text that is not UTF-8.
    bool isClean() const { return clean_; }

    // The data of a top-level key, its name matched without regard to case (a name spelled
    // exactly so is preferred, and a later line wins over an earlier one); nothing when the key
    // is missing or its line could not be read.
    std::optional<QVariant> value(const QString& name) const;

    // The bytes with each named top-level key set to its text: a key's first line is replaced,
    // its other lines dropped, and keys not present yet are added in the order given at the end
    // of the top-level keys.
    QByteArray withTexts(const QList<std::pair<QString, QString>>& values) const;

private:
    struct Line {
        qsizetype start = 0;
        qsizetype length = 0; // without the line end
        qsizetype endLength = 0;
        bool topLevelKey = false;
        bool damaged = false;
        QByteArray key;
        qsizetype valueStart = 0;
        qsizetype valueEnd = 0;
    };

    void parseLine(Line& line, bool& topLevel);
    qsizetype lineOf(const QString& name) const;

    QByteArray bytes_;
    QList<Line> lines_;
    bool clean_ = true;
    // Where new top-level keys go: after this line, or, when there is none, before
    // `firstSection_` under a "[General]" header of their own.
    qsizetype lastTopLevel_ = -1;
    qsizetype firstSection_ = -1;
    QByteArray lineEnd_ = "\n";
};
