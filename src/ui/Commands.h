#pragma once

class AppState;

// When each command of the windows and menus can be used; buttons and menu items read the
// same rule, so they never disagree.
struct CommandAvailability {
    bool capture = false; // "Capture Text", "No Line Breaks"
    bool captureLast = false;
    bool copy = false;
    bool exportText = false;

    static CommandAvailability of(const AppState &state);
};
