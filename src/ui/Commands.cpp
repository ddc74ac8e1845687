#include "Commands.h"

#include "app/AppState.h"

CommandAvailability CommandAvailability::of(const AppState &state)
{
    const bool idle = state.captureState().kind() != CaptureState::Kind::capturing;
    return { idle, idle && state.hasLastCapture(), state.hasExtractedText(), state.hasExtractedText() };
}
