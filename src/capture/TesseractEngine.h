#pragma once

#include "ImagePreparation.h"
#include "RecognitionEngine.h"

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace tesseract {
class TessBaseAPI;
}

struct TesseractEngineOptions {
    // The tessdata directory; absent: Tesseract's own default (TESSDATA_PREFIX, else the
    // path compiled into libtesseract).
    std::optional<QString> dataPath;
    bool prepareImage = true;
    PreparationOptions preparation;
    // Traineddata used when no language is chosen; empty: script/Latin when installed,
    // else eng.
    QString automaticLanguage;
    // Automatic detection of Japanese, Chinese and Korean: when the Latin reading's mean
    // confidence is below latinDoubtfulBelow, the three models are tried, and the best one is
    // taken if its confidence is at least the minimum and the margin above the Latin reading,
    // and most of its letters are of its own scripts. Chosen by measurement (bench/).
    bool detectEastAsian = true;
    int latinDoubtfulBelow = 60;
    int eastAsianMinimumConfidence = 70;
    int eastAsianMargin = 25;
    // Larger prepared images are tried on a band of this many pixels across the middle.
    qint64 eastAsianProbePixels = 60'000;
};

// Text recognition with libtesseract's LSTM engine. One initialised engine per language
// configuration is kept for the life of this object: initialising costs 120-600 ms, more
// than recognising a typical capture. Calls are serialised.
class TesseractEngine : public TextRecognitionEngine {
public:
    explicit TesseractEngine(TesseractEngineOptions options = {});
    ~TesseractEngine() override;

    std::optional<std::vector<TextObservation>> recognizeText(
        const QImage &image, const std::optional<QString> &languageIdentifier) override;

    // Loads the engine that recognizeText() will use for this language, so the first capture
    // does not wait for it (up to 0.6 s). Safe to call from another thread.
    void warmUp(const std::optional<QString> &languageIdentifier);

    // Tesseract's name for one of the application's language identifiers; absent for an
    // unknown or absent identifier (automatic).
    static std::optional<QString> tesseractLanguage(const std::optional<QString> &languageIdentifier);
    // The Debian package that ships a traineddata ("chi_sim" -> "tesseract-ocr-chi-sim").
    static QString dataPackage(const QString &tesseractLanguage);

private:
    struct Configuration {
        QString language;
        bool singleBlock = false;
    };

    struct Reading {
        std::vector<TextObservation> lines;
        int confidence = 0; // Tesseract's mean word confidence, 0-100
    };

    Configuration configurationFor(const std::optional<QString> &languageIdentifier);
    std::optional<Reading> read(const Configuration &configuration, const QImage &grey);
    std::optional<Reading> readEastAsianInstead(const QImage &grey, const Reading &latin);
    static double eastAsianShare(const std::vector<TextObservation> &lines);
    tesseract::TessBaseAPI *engineFor(const Configuration &configuration);
    std::optional<QString> dataDirectory() const;
    bool dataFileMissing(const QString &language) const;

    TesseractEngineOptions m_options;
    std::optional<QString> m_learnedDataPath;
    std::optional<QString> m_automaticLanguage;
    std::map<QString, std::unique_ptr<tesseract::TessBaseAPI>> m_engines;
    std::mutex m_mutex;
};
