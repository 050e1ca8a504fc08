#pragma once

#include <QtGlobal>

// The USB identity the virtual flight computer presents.
namespace okukipo::sim {

constexpr quint16 VendorId = 0x03DB;
constexpr quint16 FirmwareProductId = 0x0004;
constexpr quint16 BootloaderProductId = 0x0003;
constexpr quint16 FirmwareVersion = 0x0221;
constexpr quint16 BootloaderVersion = 0x0200;

} // namespace okukipo::sim
