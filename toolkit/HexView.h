#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>

// A read-only hex viewer: offset, sixteen bytes in hex and the same bytes as characters on
// each row. Only the rows on the screen are read, when they are painted, so a file of any size
// opens at once and never is read whole. The file stays open until Clear (or the next file).
class THexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit THexView(QWidget* parent = nullptr);

    static constexpr int BytesPerRow = 16;

    // False when the file cannot be opened (the view is then empty).
    bool LoadFile(const QString& path);
    // Closes the file: the view is empty.
    void Clear();

    std::int64_t FileSize() const { return FSize; }
    // The first row on the screen.
    std::int64_t TopRow() const;
    // The text of one row as it is drawn (empty past the end or when it cannot be read).
    QString RowText(std::int64_t row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::int64_t RowCount() const;
    int VisibleRows() const;
    void UpdateScrollBars();
    // Reads the bytes of rows [first, first + count) into FRows (kept while they stay on the
    // screen).
    const QByteArray& ReadRows(std::int64_t first, int count);
    QString FormatRow(std::int64_t offset, const char* bytes, int count) const;

    QFile FFile;
    std::int64_t FSize = 0;
    // Rows per scroll-bar step: 1 unless the file has more rows than a scroll bar can count.
    std::int64_t FRowScale = 1;
    int FOffsetDigits = 8;
    std::int64_t FRowsFirst = -1;
    int FRowsCount = 0;
    QByteArray FRows;
};
