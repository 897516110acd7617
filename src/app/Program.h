#pragma once

// The program as main() runs it; in a library so that its tests run the very same.

#include <QString>

namespace plaintrove::app {

// Sets the program's identity on the running application: name, organisation, version, desktop
// file name, the icon every window carries, and the fonts the windows' designs ask for.
void applyApplicationInfo();

// Starts on the splash screen and runs until the last window is unloaded. A `file` (none when
// empty) is chosen in the main window when it opens.
int run(const QString &file = {});

} // namespace plaintrove::app
