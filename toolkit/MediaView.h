#pragma once

#include <QString>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;
class QVBoxLayout;
class QVideoWidget;

// A media player on Qt Multimedia: the video (if any) above a play / pause button and a
// position slider; the player's error text replaces nothing but is shown under the video.
// Plays once (no loop), starting when a file is opened. The player and the video output are
// made on first use, so a pane that never shows media never starts the media framework.
class TMediaView : public QWidget {
    Q_OBJECT
public:
    explicit TMediaView(QWidget* parent = nullptr);
    ~TMediaView() override;

    // Opens the file and starts playing it; errors show in the view's status line.
    void LoadFile(const QString& path);
    // Stops playing and lets go of the file.
    void Clear();

    QMediaPlayer* Player() const { return FPlayer; }
    QSlider* PositionSlider() const { return FPosition; }
    QLabel* StatusLabel() const { return FStatus; }

private:
    void MakePlayer();
    void UpdatePlayButton();

    QVBoxLayout* FLayout;
    QVideoWidget* FVideo = nullptr;
    QToolButton* FPlay;
    QSlider* FPosition;
    QLabel* FStatus;
    QMediaPlayer* FPlayer = nullptr;
    QAudioOutput* FAudio = nullptr;
    bool FDragging = false;
};
