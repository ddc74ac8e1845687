#pragma once

#include <QString>

#include <optional>

// Where Tesseract's language data ("traineddata" files) is, and which package ships each:
// found without loading a model, for the engine, the doctor and the error messages.
namespace TessdataLocation {

// TESSDATA_PREFIX, else the first usual system folder that holds data; absent when none.
std::optional<QString> systemDirectory();
// Whether the folder holds the model; "eng+fra" needs every model of the combination.
bool hasModel(const QString &directory, const QString &tesseractLanguage);
// The Debian package that ships a model ("chi_sim" -> "tesseract-ocr-chi-sim").
QString package(const QString &tesseractLanguage);

} // namespace TessdataLocation
