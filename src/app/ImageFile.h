#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// The largest image file --recognize reads into memory: an uncompressed picture of the most
// pixels it decodes (maximumImageFilePixels) fits.
constexpr qint64 maximumImageFileBytes = 300 * 1024 * 1024;

// The formats an image file given to --recognize may be in: pictures of pixels, decoded from
// the bytes alone. Vector and scripted formats (SVG, whose text needs a font system and whose
// images and styles may name other files) and rarely used ones are left out.
const QStringList &recognizableImageFormats();

// Decodes an image file's content, the format told by the content (not the name); a format
// outside recognizableImageFormats(), a damaged file or one of more than maximumImageFilePixels
// pixels gives a null image and the reason in *error.
QImage decodeImageFile(const QByteArray &content, QString *error);
