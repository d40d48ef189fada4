#pragma once

#include <QStatusBar>
#include <QString>

#include <vector>

class QLabel;

// The main window's status bar: a row of text panels of set widths, side by side from the
// left, and room for other controls placed on it by their owner (a progress bar inside a
// panel). Panels are added once and never removed. Resized tells the owner to lay out again.
class TZYStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit TZYStatusBar(QWidget* parent = nullptr);

    // Adds a panel at the right of the others; returns its index.
    int AddPanel(int width, const QString& text = QString());
    int PanelCount() const { return int(FPanels.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);
    // The left edge of a panel (the sum of the widths before it).
    int PanelLeft(int index) const;
    QLabel* PanelLabel(int index) const;

Q_SIGNALS:
    void Resized();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOutPanels();

    struct TPanel {
        QLabel* Label = nullptr;
        int Width = 0;
    };
    std::vector<TPanel> FPanels;
};
