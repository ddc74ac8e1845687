#include "RecognitionLogging.h"

Q_LOGGING_CATEGORY(lcRecognition, "glyphwell.recognition", QtInfoMsg)
