#include "toolkit/ViewerChoice.h"

#include <QFileInfo>
#include <QImageReader>
#include <QStringConverter>
#include <QStringDecoder>

const char* const ExtImagesList
    = "bmp,ico,wmf,emf,jpg,jpeg,jpe,jfif,png,gif,rle,dib,tga,tif,tiff,psd,fax,eps,icb,win,vst,"
      "vda,pcx,pcc,rpf,rla,sgi,rgba,rgb,bw,pdd,ppm,pgm,pbm,cel,pic,pcd,cut,pal,psp,jp2,jpc,pnm,"
      "ras,mis,ani,cur";
const char* const ExtMediaList
    = "avi,mpg,mpeg,mpe,mpv,mp3,mp2,mp1,m1v,m2v,mpv2,mp2v,mpa,m1a,m2a,asf,lsf,lsx,ivf,wav,mid,"
      "midi,rmi,kar,aif,aifc,aiff,au,snd,mov,qt,3gp,3gp2,3g2,3gpp,ra,rm,ram,rmvb,rpm,rt,rp,smi,"
      "smil,roq,asx,m3u,pls,wvx,wax,wmx,wmv,wma,wmp,wm,cda,ac3,dts,vob,ifo,d2v,fli,flc,flic,mka,"
      "mkv,ts,tp,tpr,pva,aac,mp4,ogm,ogg,divx,vp6,m4a,m4b,vqf,ape,mpc,flac,flv,dvr-ms,wtv";
const char* const ExtInetList = "htm,html,xml,xsl,mht,swf,xps,shtml,xhtml,shtm,stm,php,php2,php3,"
                                "asp,pl,vrml,plg,htt,htx";

namespace {

const QString XmlExtension = QStringLiteral("xml");

const QSet<QString>& VideoExtensions()
{
    static const QSet<QString> set = ExtensionSet(QStringLiteral("avi,mpeg,mpg,mp4,mkv,wmv"));
    return set;
}

const QSet<QString>& PlaylistExtensions()
{
    static const QSet<QString> set
        = ExtensionSet(QStringLiteral("asx,wax,wvx,wmx,m3u,pls,ram,rpm,smi,smil,lsx"));
    return set;
}

const QSet<QString>& MediaExtensions()
{
    static const QSet<QString> set = ExtensionSet(QString::fromLatin1(ExtMediaList));
    return set;
}

const QSet<QString>& ImageReaderExtensions()
{
    static const QSet<QString> set = [] {
        QSet<QString> formats;
        for (const QByteArray& format : QImageReader::supportedImageFormats()) {
            formats.insert(QString::fromLatin1(format).toLower());
        }
        return formats;
    }();
    return set;
}

bool StartsWith(QByteArrayView bytes, std::initializer_list<unsigned char> prefix)
{
    if (bytes.size() < qsizetype(prefix.size())) {
        return false;
    }
    qsizetype i = 0;
    for (unsigned char byte : prefix) {
        if (static_cast<unsigned char>(bytes[i++]) != byte) {
            return false;
        }
    }
    return true;
}

bool HasByteOrderMark(QByteArrayView head)
{
    return StartsWith(head, {0xEF, 0xBB, 0xBF}) || StartsWith(head, {0xFF, 0xFE})
        || StartsWith(head, {0xFE, 0xFF}) || StartsWith(head, {0x00, 0x00, 0xFE, 0xFF});
}

} // namespace

QSet<QString> ExtensionSet(const QString& list)
{
    QSet<QString> set;
    for (const QString& item : list.split(u',', Qt::SkipEmptyParts)) {
        const QString ext = item.trimmed().toLower();
        if (!ext.isEmpty()) {
            set.insert(ext);
        }
    }
    return set;
}

QString PreviewExtension(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) {
        return {};
    }
    return name.mid(dot + 1).toLower();
}

void AdjustXmlForSize(QSet<QString>& extInet, const QString& path, std::int64_t size)
{
    if (PreviewExtension(path) != XmlExtension) {
        return;
    }
    if (size < WebXmlSizeLimit) {
        extInet.insert(XmlExtension);
    } else {
        extInet.remove(XmlExtension);
    }
}

bool IsVideoExtension(const QString& ext)
{
    return VideoExtensions().contains(ext.toLower());
}

bool IsPlaylistExtension(const QString& ext)
{
    return PlaylistExtensions().contains(ext.toLower());
}

bool IsImageViewExtension(const QString& ext)
{
    const QString lower = ext.toLower();
    return !lower.isEmpty() && ImageReaderExtensions().contains(lower)
        && !VideoExtensions().contains(lower);
}

bool LooksLikeText(QByteArrayView head)
{
    if (HasByteOrderMark(head)) {
        return true;
    }
    qsizetype controls = 0;
    for (char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            return false;
        }
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f'
            && byte != 0x1B) {
            ++controls;
        }
    }
    // A stray control character is allowed in a text; many are the mark of binary data.
    return controls * 100 <= head.size();
}

TViewerMode DetectViewerMode(
    const QString& ext, QByteArrayView head, const QSet<QString>& extInet, bool webEnabled)
{
    const QString lower = ext.toLower();
    if (MediaExtensions().contains(lower) && !PlaylistExtensions().contains(lower)) {
        return vmodeMedia;
    }
    const bool text = LooksLikeText(head);
    if (webEnabled && extInet.contains(lower) && text) {
        return vmodeWeb;
    }
    return text ? vmodeText : vmodeNone;
}

TPreviewKind ChoosePreview(
    const QString& path, QByteArrayView head, const QSet<QString>& extInet, bool webEnabled)
{
    const QString ext = PreviewExtension(path);
    if (ext == u"pdf") {
        return pkPdf;
    }
    if (IsImageViewExtension(ext)) {
        return pkImage;
    }
    switch (DetectViewerMode(ext, head, extInet, webEnabled)) {
    case vmodeMedia:
        return pkMedia;
    case vmodeWeb:
        return pkWeb;
    case vmodeText:
        return pkText;
    default:
        return pkHex;
    }
}

QString DecodePreviewText(const QByteArray& bytes, bool truncated)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(bytes);
    }
    // A decoder that keeps its state leaves a sequence cut at the end pending instead of
    // reporting it; an untruncated text must end on a whole character.
    QStringDecoder utf8(QStringConverter::Utf8,
        truncated ? QStringConverter::Flag::Default : QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        return text;
    }
    return QString::fromLatin1(bytes);
}
