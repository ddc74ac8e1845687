// The image files glyphwell --recognize reads: any bytes, through the same sniffing and the
// decoders it allows. Whatever decodes must be a picture within the pixel bound.
#include "app/ImageFile.h"
#include "capture/CaptureRecognition.h"

#include <QCoreApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The decoders of GIF, JPEG, TIFF and WebP are plugins, found through the application.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const QImage image = decodeImageFile(bytes, &error);
    if (image.isNull() == error.isEmpty())
        std::abort();
    if (!image.isNull() && qint64(image.width()) * image.height() > maximumImageFilePixels)
        std::abort();
    return 0;
}
