#include "toolkit/MediaView.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include <algorithm>
#include <climits>

TMediaView::TMediaView(QWidget* parent)
    : QWidget(parent)
    , FPlay(new QToolButton(this))
    , FPosition(new QSlider(Qt::Horizontal, this))
    , FStatus(new QLabel(this))
{
    FPlay->setObjectName(QStringLiteral("MediaPlayButton"));
    FPlay->setAccessibleName(tr("Play"));
    FPosition->setObjectName(QStringLiteral("MediaPosition"));
    FPosition->setAccessibleName(tr("Position"));
    FPosition->setRange(0, 0);
    FStatus->setObjectName(QStringLiteral("MediaStatus"));
    FStatus->setWordWrap(true);
    FStatus->setTextFormat(Qt::PlainText);

    auto* controls = new QHBoxLayout;
    controls->addWidget(FPlay);
    controls->addWidget(FPosition, 1);
    FLayout = new QVBoxLayout(this);
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->addStretch(1);
    FLayout->addWidget(FStatus);
    FLayout->addLayout(controls);
    UpdatePlayButton();

    connect(FPlay, &QToolButton::clicked, this, [this] {
        if (FPlayer == nullptr) {
            return;
        }
        if (FPlayer->playbackState() == QMediaPlayer::PlayingState) {
            FPlayer->pause();
        } else {
            FPlayer->play();
        }
    });
    connect(FPosition, &QSlider::sliderPressed, this, [this] { FDragging = true; });
    connect(FPosition, &QSlider::sliderReleased, this, [this] {
        FDragging = false;
        if (FPlayer != nullptr) {
            FPlayer->setPosition(FPosition->value());
        }
    });
    connect(FPosition, &QSlider::actionTriggered, this, [this](int action) {
        // Keys and clicks on the groove move the playing position as well.
        if (FPlayer != nullptr && !FDragging && action != QAbstractSlider::SliderMove) {
            FPlayer->setPosition(FPosition->sliderPosition());
        }
    });
}

TMediaView::~TMediaView()
{
    Clear();
}

void TMediaView::MakePlayer()
{
    if (FPlayer != nullptr) {
        return;
    }
    // The video output starts the media framework (which takes a while): made here, not with
    // the view.
    FVideo = new QVideoWidget(this);
    FVideo->setObjectName(QStringLiteral("MediaVideo"));
    delete FLayout->takeAt(0);
    FLayout->insertWidget(0, FVideo, 1);
    FPlayer = new QMediaPlayer(this);
    FAudio = new QAudioOutput(this);
    FPlayer->setAudioOutput(FAudio);
    FPlayer->setVideoOutput(FVideo);
    FPlayer->setLoops(1);
    connect(FPlayer, &QMediaPlayer::durationChanged, this,
        [this](qint64 duration) { FPosition->setRange(0, int(std::min<qint64>(duration, INT_MAX))); });
    connect(FPlayer, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (!FDragging) {
            FPosition->setValue(int(std::min<qint64>(position, INT_MAX)));
        }
    });
    connect(FPlayer, &QMediaPlayer::playbackStateChanged, this, [this] { UpdatePlayButton(); });
    connect(FPlayer, &QMediaPlayer::errorOccurred, this,
        [this](QMediaPlayer::Error, const QString& text) { FStatus->setText(text); });
}

void TMediaView::LoadFile(const QString& path)
{
    MakePlayer();
    FStatus->clear();
    FPosition->setRange(0, 0);
    FPlayer->setSource(QUrl::fromLocalFile(path));
    FPlayer->play();
}

void TMediaView::Clear()
{
    if (FPlayer != nullptr) {
        FPlayer->stop();
        FPlayer->setSource(QUrl());
    }
    FStatus->clear();
    FPosition->setRange(0, 0);
    UpdatePlayButton();
}

void TMediaView::UpdatePlayButton()
{
    const bool playing = FPlayer != nullptr
        && FPlayer->playbackState() == QMediaPlayer::PlayingState;
    FPlay->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    FPlay->setAccessibleName(playing ? tr("Pause") : tr("Play"));
}
