#pragma once

// Small files for the viewer and preview tests, made by the test itself: pictures, PDF
// documents (with pages, without pages, corrupt) and sparse files.

#include <QApplication>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QWheelEvent>
#include <QWidget>

#include <cstdint>
#include <string>

namespace preview_fixtures {

inline QString Q(const std::string& path)
{
    return QString::fromStdString(path);
}

inline void WriteBytes(const std::string& path, const QByteArray& bytes)
{
    QFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return;
    }
    file.write(bytes);
}

// A picture of the given size: a colour with a darker diagonal, so scaled copies differ from
// a flat fill. format: "PNG", "JPEG", ...
inline void WritePicture(const std::string& path, int width, int height, const char* format,
    QColor colour = QColor(70, 130, 180))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setPen(QPen(colour.darker(), 3));
    painter.drawLine(0, 0, width - 1, height - 1);
    painter.end();
    image.save(Q(path), format);
}

// A PDF of the given number of A4 pages, each with its number written on it.
inline void WritePdf(const std::string& path, int pages)
{
    QPdfWriter writer(Q(path));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    QFont font = painter.font();
    font.setPointSize(36);
    painter.setFont(font);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            writer.newPage();
        }
        painter.drawText(QRect(0, 0, 500, 700), Qt::AlignCenter,
            QStringLiteral("Page %1").arg(page + 1));
    }
    painter.end();
}

// A well-formed PDF whose page tree is empty.
inline void WriteZeroPagePdf(const std::string& path)
{
    QByteArray pdf = "%PDF-1.4\n";
    const qsizetype catalog = pdf.size();
    pdf += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    const qsizetype pages = pdf.size();
    pdf += "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 3\n0000000000 65535 f \n";
    pdf += QByteArray::number(catalog).rightJustified(10, '0') + " 00000 n \n";
    pdf += QByteArray::number(pages).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref)
        + "\n%%EOF\n";
    WriteBytes(path, pdf);
}

// Keeps the first `size` bytes of a file.
inline void TruncateFile(const std::string& path, std::int64_t size)
{
    QFile file(Q(path));
    file.resize(size);
}

// A file that starts with `head` and is extended to `size` bytes with a hole (zeros that take
// no disk space).
inline void WriteSparse(const std::string& path, const QByteArray& head, std::int64_t size)
{
    WriteBytes(path, head);
    QFile file(Q(path));
    file.resize(size);
}

// Bytes that look random (a fixed seed), with NULs and control characters as binary data has.
inline QByteArray RandomBytes(int count, std::uint32_t seed = 12345)
{
    QByteArray bytes(count, '\0');
    std::uint32_t state = seed;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

// Turns the wheel by whole notches (positive: away from the user) over a point of a widget,
// its centre by default.
inline void Wheel(QWidget* widget, int notches, QPointF at = QPointF(-1, -1))
{
    if (at.x() < 0) {
        at = QPointF(widget->width() / 2.0, widget->height() / 2.0);
    }
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace preview_fixtures
