#include "toolkit/TextView.h"

#include "toolkit/ViewerChoice.h"

#include <QFile>
#include <QFontDatabase>

bool ReadFilePrefix(const QString& path, qint64 limit, QByteArray& bytes, bool& truncated)
{
    bytes.clear();
    truncated = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // One byte more than the limit tells whether the file goes on.
    bytes = file.read(limit + 1);
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError) {
        return false;
    }
    if (bytes.size() > limit) {
        bytes.truncate(limit);
        truncated = true;
    }
    return true;
}

QString BreakLongLines(const QString& text, qsizetype width)
{
    QString result;
    result.reserve(text.size() + text.size() / width + 1);
    qsizetype run = 0; // characters since the last line break
    for (const QChar c : text) {
        if (c == u'\n') {
            run = 0;
        } else {
            // Never between the two halves of a surrogate pair.
            if (run >= width && !c.isLowSurrogate()) {
                result += u'\n';
                run = 0;
            }
            ++run;
        }
        result += c;
    }
    return result;
}

TTextView::TTextView(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(tr("Text"));
}

bool TTextView::LoadFile(const QString& path)
{
    QByteArray bytes;
    bool truncated = false;
    if (!ReadFilePrefix(path, ReadLimit, bytes, truncated)) {
        Clear();
        return false;
    }
    setPlainText(BreakLongLines(DecodePreviewText(bytes, truncated), LineLimit));
    return true;
}

void TTextView::Clear()
{
    QPlainTextEdit::clear();
}
