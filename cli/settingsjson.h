#pragma once

#include "model/settings.h"

#include <QByteArray>

// The "settings" object of the command line's JSON: {"valid": ..., "bytes": "<hex>"}.
QByteArray settingsJson(const OKUKIPOSettings &settings);
