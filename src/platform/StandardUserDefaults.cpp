#include "StandardUserDefaults.h"

#include "IniUserDefaults.h"

UserDefaults &standardUserDefaults()
{
    static IniUserDefaults defaults;
    return defaults;
}
