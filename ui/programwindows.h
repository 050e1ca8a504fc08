#pragma once

#include "app/studiowindows.h"

// The program's own windows: flight windows in their closing-aware
// sub-windows and the device console.  Lives as long as the process.
StudioWindowFactory &programWindows();
