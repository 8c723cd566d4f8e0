// Must not compile: <windows.h> before the program's Windows constants would turn their names into
// Windows' macros. The test win32_constants_refuse_windows_h_first expects the header's #error.
#include <windows.h>

#include "boundary/win_constants.h"
