#pragma once

#include "device/hidtransport.h"

// Stands in for the hidapi transport and its udev monitor while it lives:
// it finds no devices, and devices arrive or leave only when a test emits
// the transport's signals.
class NoDevices : public HIDTransport
{
public:
    NoDevices() { HIDTransport::setCurrent(this); }
    ~NoDevices() override { HIDTransport::setCurrent(nullptr); }

    QVector<HIDDeviceInfo> enumerate() override { return {}; }
    std::unique_ptr<HIDConnection> open(const QString &) override { return nullptr; }
};
