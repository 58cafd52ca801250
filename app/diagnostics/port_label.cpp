#include "diagnostics/port_label.h"

namespace {
const char *const kPortNames[] = {"USB",  "COM6", "COM1", "COM2", "COM3",
                                  "COM4", "COM5", "COM7", "COM8"};
constexpr int32_t kPortNameCount = sizeof kPortNames / sizeof kPortNames[0];
} // namespace

const char *TestPortName(int32_t index) {
    return index >= 0 && index < kPortNameCount ? kPortNames[index] : "";
}

std::string TestPortLabel(bool cardOnUsb, bool iButtonOnSerial, int32_t portNameIndex) {
    std::string label;
    if (cardOnUsb) label = "USB";
    if (iButtonOnSerial) label += std::string(" ") + TestPortName(portNameIndex);
    return label;
}
