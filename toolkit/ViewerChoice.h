#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QString>

#include <cstdint>

// Which viewer shows a file in the preview pane and the preview window, decided from the
// file's extension and the first bytes of its content. Pure functions, except where a function
// says it asks the image readers Qt has.

// What shows a file.
enum TPreviewKind {
    pkImage, // the image view: a format the image readers know (video types excepted)
    pkPdf, // the PDF view
    pkText, // the text view
    pkHex, // the hex view
    pkMedia, // the media view: audio and video
    pkWeb, // the web view: HTML rendered without loading anything, XML shown as its source
};

// The modes of the general viewer (everything that is neither a picture nor a PDF).
// vmodeNone: no mode detected; vmodeOffice is kept for the stored option but never detected
// (there is no Office renderer here: such files show as text or hex).
enum TViewerMode { vmodeNone, vmodeText, vmodeHex, vmodeMedia, vmodeWeb, vmodeOffice };

// The extension lists of the general viewer, comma-separated, lower case.
extern const char* const ExtImagesList;
extern const char* const ExtMediaList;
extern const char* const ExtInetList;

// A set of extensions (lower case, without the dot) from a comma-separated list; blanks and
// letter case do not matter.
QSet<QString> ExtensionSet(const QString& list);

// The extension of a path's file name: the text after its last ".", lower-cased, without the
// dot; "" when there is none, and for a name whose only "." leads it (".bashrc").
QString PreviewExtension(const QString& path);

// XML files below this size are shown as web pages, larger ones by the other modes.
inline constexpr std::int64_t WebXmlSizeLimit = 5242880;

// Puts "xml" into the web extensions, or takes it out, for a file of the given size:
// only when the path's extension is "xml" in any letter case; size below WebXmlSizeLimit
// adds it, WebXmlSizeLimit or more removes it. Other paths leave the set as it is.
void AdjustXmlForSize(QSet<QString>& extInet, const QString& path, std::int64_t size);

// Video types that the picture readers might list but that the media view plays.
bool IsVideoExtension(const QString& ext);
// Playlists and media metafiles: they name addresses a player would fetch, so they are never
// played; they show as text.
bool IsPlaylistExtension(const QString& ext);
// An extension the image view shows: one that Qt's image readers read (asked once), video
// types excepted.
bool IsImageViewExtension(const QString& ext);

// Whether the first bytes of a file look like text: a byte-order mark says so; otherwise no NUL
// byte and almost no control characters other than tab, line feed, carriage return, form feed
// and escape. An empty file is text.
bool LooksLikeText(QByteArrayView head);

// The general viewer's mode for a file: media for the media extensions (playlists excepted),
// web for the web extensions when web pages are enabled and the content looks like text, text
// when the content looks like text, else vmodeNone (the caller shows it as hex).
TViewerMode DetectViewerMode(
    const QString& ext, QByteArrayView head, const QSet<QString>& extInet, bool webEnabled);

// The whole choice: the image view or the PDF view by extension ("pdf" in any letter case),
// else the general viewer's mode, with hex for a file whose mode is not detected.
TPreviewKind ChoosePreview(
    const QString& path, QByteArrayView head, const QSet<QString>& extInet, bool webEnabled);

// How many bytes of a file the mode detection looks at.
inline constexpr qsizetype ViewerSniffSize = 4096;

// Text decoded as the text and web views show it: by its byte-order mark when it has one, else
// as UTF-8 when it is valid UTF-8, else as Latin-1. truncated: the bytes are a prefix of the
// file, so a UTF-8 sequence cut at the end is dropped rather than taken for invalid.
QString DecodePreviewText(const QByteArray& bytes, bool truncated);
