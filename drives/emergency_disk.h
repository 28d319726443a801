// The emergency-disk folder on the desktop: the program, an autorun file and the start marker.
#pragma once

// Builds desktop\KX_Disk; 1 when all four items were written, 0 at the first failure.
int create_emergency_disk();
