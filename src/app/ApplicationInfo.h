#pragma once

// Sets the program's identity on the running application: name, organisation, version, desktop
// file name and, for a GUI application, the icon every window carries.

namespace plaintrove::app {

void applyApplicationInfo();

} // namespace plaintrove::app
