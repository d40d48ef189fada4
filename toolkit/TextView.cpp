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
    setPlainText(DecodePreviewText(bytes, truncated));
    return true;
}

void TTextView::Clear()
{
    QPlainTextEdit::clear();
}
