#include "ImageFile.h"

#include "capture/CaptureRecognition.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

const QStringList &recognizableImageFormats()
{
    static const QStringList formats { QStringLiteral("png"), QStringLiteral("jpeg"), QStringLiteral("gif"),
        QStringLiteral("bmp"), QStringLiteral("pbm"), QStringLiteral("pgm"), QStringLiteral("ppm"),
        QStringLiteral("tiff"), QStringLiteral("webp") };
    return formats;
}

namespace {

QString formatName(QByteArray format)
{
    format = format.toLower();
    if (format == "jpg")
        return QStringLiteral("jpeg");
    if (format == "tif")
        return QStringLiteral("tiff");
    return QString::fromLatin1(format);
}

} // namespace

QImage decodeImageFile(const QByteArray &content, QString *error)
{
    QBuffer sniffed;
    sniffed.setData(content);
    sniffed.open(QIODevice::ReadOnly);
    const QString format = formatName(QImageReader::imageFormat(&sniffed));
    if (format.isEmpty()) {
        *error = QStringLiteral("not an image Glyphwell can read");
        return {};
    }
    if (!recognizableImageFormats().contains(format)) {
        *error = QStringLiteral("%1 files are not read; use %2")
                     .arg(format.toUpper(), recognizableImageFormats().join(QStringLiteral(", ")).toUpper());
        return {};
    }
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    // Only the decoder the content was recognised as, never one chosen by another guess.
    QImageReader reader(&buffer, format.toLatin1());
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const auto tooLarge = [error](QSize size) {
        if (qint64(size.width()) * size.height() <= maximumImageFilePixels)
            return false;
        *error
            = QStringLiteral("the image is %1 x %2 pixels; Glyphwell reads images of up to %3 million pixels")
                  .arg(size.width())
                  .arg(size.height())
                  .arg(maximumImageFilePixels / 1'000'000);
        return true;
    };
    // The header tells the size, so a huge image is refused before anything is decoded.
    QSize size = reader.size();
    // A GIF's frames are drawn onto its logical screen (bytes 6 to 9), which is what is decoded;
    // the reader tells only the first frame's size.
    if (format == QLatin1String("gif") && content.size() >= 10)
        size = size.expandedTo(QSize(qFromLittleEndian<quint16>(content.constData() + 6),
            qFromLittleEndian<quint16>(content.constData() + 8)));
    if (size.isValid() && tooLarge(size))
        return {};
    reader.setAllocationLimit(256); // MB; also for formats whose header gives no size
    QImage image = reader.read();
    if (image.isNull())
        *error = QStringLiteral("cannot read the image (%1)").arg(reader.errorString());
    // Whatever else a header may understate.
    else if (tooLarge(image.size()))
        return {};
    return image;
}
