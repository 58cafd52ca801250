#pragma once
#include <cstdint>

// The chooser's connection choice and the first-show flag of each device window.
struct TPortChoice {
    int32_t ConnectionKind = 0;  // 0 = USB HID, anything else = serial
    int32_t SerialPort = 0;      // port number handed to COM_Init
    uint8_t CardOnUsb = 0;       // card data comes in as keystrokes over USB
    uint8_t IButtonOnSerial = 0; // data also comes in over the serial port
    int32_t PortNameIndex = 0;   // index into the test page's port names; nothing writes it
    // 1 until the window has been closed once in this run; a window binds its library
    // only while its flag is 1.
    uint8_t FirstShowMsr = 0, FirstShowRfid = 0, FirstShowPcsc = 0;
};
