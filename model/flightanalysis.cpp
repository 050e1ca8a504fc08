#include "model/flight.h"

void OKUKIPOFlight::processFlight()
{
}
