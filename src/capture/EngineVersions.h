#pragma once

#include <QString>

// The versions of the recognition libraries this program runs with, for "About".
QString tesseractVersion();
QString zxingVersion();
