#include "cli/settingsjson.h"

#include "model/eventfields.h"

QByteArray settingsJson(const OKUKIPOSettings &settings)
{
    return "{\"valid\": " + jsonValue(settings.valid) + ", \"bytes\": \"" + settings.deviceBytes().toHex() + "\"}";
}
