#pragma once
// What the reader test page shows as its port, free of any window toolkit.

#include <cstdint>
#include <string>

// The name of the serial port with this index: "USB", "COM6", "COM1" ... "COM5", "COM7",
// "COM8" for 0..8; an empty name for any other index.
const char *TestPortName(int32_t index);

// The page's port text: "USB" when card data comes over USB, then a blank and the port's
// name when iButton data comes over a serial port.
std::string TestPortLabel(bool cardOnUsb, bool iButtonOnSerial, int32_t portNameIndex);
