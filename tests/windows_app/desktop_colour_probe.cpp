// Gives the desktop colour as its exit code. Wine keeps system colours per process from the
// moment a process first reads them, so only a new process sees what another one has set.
#include <windows.h>

int main() { return static_cast<int>(GetSysColor(COLOR_DESKTOP)); }
