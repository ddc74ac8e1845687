#pragma once

class UserDefaults;

// The program's own settings file (~/.config/Glyphwell/Glyphwell.conf), opened on first use.
UserDefaults &standardUserDefaults();
