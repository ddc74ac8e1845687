#pragma once

// Timestamps of the steps of a capture (shortcut, overlay, release, grab, recognition,
// clipboard) on stderr, one line each: "glyphwell-timing STEP MICROSECONDS". The clock is
// CLOCK_MONOTONIC, which every process on the machine shares, so a program driving the
// capture from outside can set its own times beside them. Off unless GLYPHWELL_TIMING is set;
// then each call costs a clock read and a write.
void markCaptureStep(const char *step);
