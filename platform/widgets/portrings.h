// The COM-port rings of the loaded panels, for the program. Free of Qt.
#pragma once

// Refills the COM-port rings of the loaded panels from the port discovery; a ring whose list is
// open is left alone.
void RefreshComPortRings(void);
