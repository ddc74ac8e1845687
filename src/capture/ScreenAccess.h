#pragma once

// Whether we may read the screen. preflight() never prompts; request() may show the
// desktop's own prompt once and its answer is read with preflight() afterwards.
class ScreenAccess {
public:
    virtual ~ScreenAccess() = default;
    virtual bool preflight() = 0;
    virtual void request() = 0;
};
