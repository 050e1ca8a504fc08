#pragma once

#include "model/events.h"

#include <QByteArray>
#include <memory>

// Event bytes as the device sends them, decoded as the given record class;
// null when they decode to another class or to none.
template<typename Event>
std::unique_ptr<Event> decoded(const QByteArray &bytes)
{
    std::unique_ptr<OKUEvent> event(decodeEvent(bytes));
    auto *typed = dynamic_cast<Event *>(event.get());
    if (typed)
        event.release();
    return std::unique_ptr<Event>(typed);
}
