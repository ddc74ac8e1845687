#pragma once

// Which result a capture produces.
enum class CaptureMode {
    text, // one output line per recognised line
    textWithoutLineBreaks, // recognised lines folded into one space-separated line
    qrCode, // barcode and QR payloads
};
