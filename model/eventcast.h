#pragma once

#include "model/events.h"

#include <typeinfo>

// The record as its exact class, or nullptr.  Every record class derives
// directly from OKUEvent, so comparing type ids is exact, and it is much
// cheaper than dynamic_cast over the hundreds of thousands of records of a
// long flight.
template<class Event>
const Event *eventAs(const OKUEvent *event)
{
    return typeid(*event) == typeid(Event) ? static_cast<const Event *>(event) : nullptr;
}

template<class Event>
Event *eventAs(OKUEvent *event)
{
    return typeid(*event) == typeid(Event) ? static_cast<Event *>(event) : nullptr;
}
