#include "EngineVersions.h"

#include <ZXing/ZXVersion.h>
#include <tesseract/baseapi.h>

QString tesseractVersion()
{
    return QString::fromLatin1(tesseract::TessBaseAPI::Version());
}

QString zxingVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(ZXING_VERSION_MAJOR)
        .arg(ZXING_VERSION_MINOR)
        .arg(ZXING_VERSION_PATCH);
}
