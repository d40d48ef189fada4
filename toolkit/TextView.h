#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

// Reads at most `limit` bytes from the start of a file. False when the file cannot be opened or
// read; truncated tells whether the file goes on past what was read.
bool ReadFilePrefix(const QString& path, qint64 limit, QByteArray& bytes, bool& truncated);

// The text with every line longer than `width` characters broken into lines of `width`
// (display only: a line of a million characters would take the text views seconds to lay out).
QString BreakLongLines(const QString& text, qsizetype width);

// A read-only text viewer in the system's fixed-width font. It shows at most the first
// ReadLimit bytes of a file, decoded by its byte-order mark, else as UTF-8, else as Latin-1, so
// a large file opens at once.
class TTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TTextView(QWidget* parent = nullptr);

    static constexpr qint64 ReadLimit = 512 * 1024;
    // Longer lines are shown broken into lines of this many characters.
    static constexpr qsizetype LineLimit = 1000;

    // False when the file cannot be read (the view is then empty).
    bool LoadFile(const QString& path);
    void Clear();
};
