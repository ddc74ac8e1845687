#pragma once

#include "RecognitionEngine.h"

struct ZXingBarcodeOptions {
    // Screen captures of codes are often light on dark, cut tight by the selection or only a
    // few pixels per module; these passes run, alone and combined, only while nothing has
    // been found.
    bool retryInverted = true;
    bool retryQuietZone = true;
    bool retryUpscaled = true;
};

// Barcode and 2D-code detection with ZXing-C++ over every format it knows.
class ZXingBarcodeEngine : public BarcodeDetectionEngine {
public:
    explicit ZXingBarcodeEngine(ZXingBarcodeOptions options = {});

    std::optional<std::vector<BarcodeObservation>> detectBarcodes(const QImage &image) override;
    // The image as it is and inverted; no quiet zone added, no enlargement.
    std::optional<std::vector<BarcodeObservation>> detectBarcodesQuickly(const QImage &image) override;

private:
    std::optional<std::vector<BarcodeObservation>> detect(const QImage &image, ZXingBarcodeOptions options);

    ZXingBarcodeOptions m_options;
};
