#pragma once

#include <QString>
#include <QWidget>

// A titled panel: a header strip with the title in bold across its top and the panel's own
// controls below it. The header takes the top of the panel's contents margins, so a layout set
// on the panel (as the form files do) lays the controls out underneath. The panel does not
// flip (collapse) itself; the title is also its accessible name.
class TNxFlipPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle)

public:
    explicit TNxFlipPanel(QWidget* parent = nullptr);

    QString title() const { return FTitle; }
    void setTitle(const QString& title);
    // The height of the header strip.
    int HeaderHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateMargins();

    QString FTitle;
};
