#pragma once

#include <QLoggingCategory>

// The recognition's messages: engines, models, codes, what a capture's reading dropped.
Q_DECLARE_LOGGING_CATEGORY(lcRecognition)
