/*
 * lorvane: the HID card-reader library.
 *
 * Carries byte messages between the program and the card reader over USB HID (through
 * hidapi's C API), and the contactless (Mifare One) command set on top of that transport.
 * The same build is delivered as liblorvane.so and liblorvanex.so; every loaded file keeps
 * its own state: one open reader, one message pump.
 *
 * All exports use the C calling convention and return a 32-bit signed int:
 * 0 for success, a negative code for a failure of the library, or a positive status byte
 * passed back from the reader.
 *
 * Result codes
 *   0     success
 *   -9    HID_WRITE: count below 1 (or no message given); nothing sent
 *   -90   HID_Init: the HID layer could not be initialised (hid_init failed)
 *   -91   HID_Init: no matching reader among the first 20 HID interfaces;
 *         HID_WRITE / HID_READ: no open reader
 *   -92   HID_WRITE: a report was not accepted within 2000 ms (later reports are not sent);
 *         HID_READ: a report did not arrive within 5000 ms
 *   -93   HID_WRITE: count above 2047; nothing sent
 *   -94   HID_READ: the reply declares a payload longer than 1024 bytes; nothing copied,
 *         the length is not set
 *   -95   busy: an export was entered while another transfer of this library was running
 *         (from the message pump, or from a second thread); nothing done
 *   -96   HID_READ: the first input report carries the status byte 0x00 (which cannot be
 *         returned as itself, since 0 means success); nothing copied
 *   -97   HID_WRITE / HID_READ: the device reported an I/O error (for example it was
 *         unplugged), or HID_WRITE could not start its write worker (nothing sent); the
 *         reader stays open until HID_Close
 *   -98   HID_READ: no reply buffer or no length pointer given
 *   -100  RF_: the command's data does not fit one frame (252 bytes or more, or a negative
 *         count); nothing sent
 *   -102  RF_: the reply holds no end byte 0x03
 *   -103  RF_: the reply is 7 bytes or fewer after unstuffing (it carries no status), or a
 *         successful reply is too short for the command's outputs: its reply block (status
 *         and data) holds fewer than 2 bytes for RF_Request, 5 for RF_Anticoll, RF_readval
 *         and RF_Reset, or 17 for RF_read; the outputs are left untouched
 *   -104  RF_: the reply is longer than 512 bytes after unstuffing
 *   1..255  the reader's status byte: in HID_READ the first report's status (never 0x30);
 *         in RF_ commands either that or the contactless reply's status byte (not told apart)
 *
 * Time-outs and what the library guarantees
 *   - HID_READ waits at most 5000 ms for each report of a reply (reports of other kinds that
 *     arrive meanwhile do not extend that wait).
 *   - HID_WRITE returns -92 at most 2000 ms after it started waiting for a report to be
 *     accepted. hidapi cannot bound a write on Linux, so each report is written by a worker
 *     thread of the library from the library's own copy of the report. A write that is still
 *     blocked when -92 is returned completes later into that copy only: it never touches the
 *     caller's buffers. A reader closed (HID_Close, or HID_Init again) while such a write is
 *     blocked is closed by the worker as soon as the write ends. While the worker is still
 *     blocked, the next HID_WRITE waits for it within its own 2000 ms.
 *   - Input reports that were queued before a message is written (a late reply to an earlier
 *     attempt, for example) are discarded by HID_WRITE before it writes the message.
 *   - A contactless reply must answer the command sent: its command echo must be the command's
 *     code and its checksum (length, echo, status and data summed, modulo 256) must add up. A
 *     reply that fails either check (a late or stale reply of an earlier command, or a garbled
 *     one) is dropped, as if it had not arrived, and the read goes on; dropped replies do not
 *     extend the 5000 ms wait for the reply's first report, after which the command returns
 *     -92. A reply without an end byte, or too short or too long to be checked, still fails
 *     with -102 .. -104.
 *   - The library never writes past the caller's areas: HID_WRITE reads `count` bytes,
 *     HID_READ writes at most 1024 reply bytes, the trace text never exceeds 2047
 *     characters plus its NUL (the trace of a long transfer is cut; the transfer itself is
 *     not affected).
 *
 * Choosing one reader among several
 *   When the environment variable LORVANE_DEVICE is set and not empty, HID_Init (and with it
 *   every RF_ command) opens only the reader it names: the reader (vendor, product and
 *   release as below) whose hidapi path ("/dev/hidraw3") or USB serial number equals the
 *   value exactly, looked for among every HID interface, not only the first 20. When no
 *   reader answers to the name, HID_Init returns -91 and no reader is open. The variable is
 *   read at each HID_Init, so a program may change it between two of them. Unset or empty:
 *   the first reader among the first 20 interfaces, as below.
 *
 * Concurrency: one transfer at a time. The message pump (HID_SetMessagePump) is called on the
 * caller's thread; an export called from inside it returns -95.
 */
#ifndef LORVANE_H
#define LORVANE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(LORVANE_BUILD)
#define LORVANE_API __attribute__((visibility("default")))
#else
#define LORVANE_API
#endif

/* Finds the reader (vendor 0x10C4, product 0x847C or 0x84A2, release 0x0101) among the first
 * 20 HID interfaces, or the one LORVANE_DEVICE names (see above), and opens it; a reader
 * that was open is closed first. Returns 0, -90,
 * -91 or -95. The report lengths come from the device's report descriptor (65 bytes each
 * when it cannot be read); a reader whose lengths are unusable (input below 4, output below
 * 3, or either above 1024 bytes) is not taken. Reports carry the identifier 0x08 in byte 0;
 * when the descriptor declares no identifiers, byte 0 is 0x00 both ways (not sent, and put
 * in front of what is read), so the reports look the same to the caller's trace. */
LORVANE_API int HID_Init(void);

/* Closes the open reader, if any. Returns 0 (or -95 when called during a transfer). */
LORVANE_API int HID_Close(void);

/* Sends one message: frame[0] is the lead byte, travelling in byte 1 of every report (bit 7
 * cleared in the first); frame[1 .. count-1] is the payload, sent after a 2-byte length.
 * `mode` is ignored (callers pass 2). `trace` (2048 characters, may be NULL) receives
 * "%02X " per byte of every report written. Returns 0, -9, -91, -92, -93, -95 or -97. */
LORVANE_API int HID_WRITE(unsigned char *frame, int length, int mode, char *trace);

/* Reads one reply into `reply` (1024 bytes) and its payload length into *length. `mode` is
 * ignored. `trace` (2048 characters, may be NULL) receives the reports read, continuation
 * reports each after "\r\n". Returns 0, -91, -92, -94, -95, -96, -97, -98 or the first
 * report's status byte (nothing copied then). */
LORVANE_API int HID_READ(unsigned char *reply, int *length, int mode, char *trace);

/* Registers a function that keeps the caller's windows alive: it is called once before and
 * once after every report written or read, and at least every 20 ms while the library
 * waits. NULL removes it (the library then just waits). Call it while no transfer runs. */
LORVANE_API void HID_SetMessagePump(void (*pump)(void *ctx), void *ctx);

/* Contactless commands. Each one runs a fresh HID_Init, writes one command frame and reads
 * its reply (replies of other commands are dropped, see above); it returns the first nonzero
 * result of these steps, -95 or -100 .. -104 (see above), or the reply's status byte.
 * Outputs are written only when 0 is returned. Block address = sector * 4 + block (one
 * byte). Values are signed 32-bit. */
/* Antenna on (nonzero) or off (0). */
LORVANE_API int RF_Antenna_Sta(int on);
LORVANE_API int RF_Init_Type(int type); /* 0: type A, 1: type B, other: '1' */
/* mode nonzero: all cards (0x52), 0: idle cards only (0x26). *cardType receives the reply's
 * first data byte. */
LORVANE_API int RF_Request(int mode, int16_t *cardType);
/* Sends the low byte of `parameter` (the window passes 4). serialNumber receives 4 bytes in
 * the order the reader sends them; *serialLength = 4. */
LORVANE_API int RF_Anticoll(int parameter, uint32_t *serialNumber, int16_t *serialLength);
/* Sends serialLength bytes starting at serialNumber. */
LORVANE_API int RF_Select(const uint8_t *serialNumber, int16_t serialLength);
/* keyChoice 0 = key A, nonzero = key B; the sector is addressed by its first block
 * (sector * 4); key = 6 bytes. */
LORVANE_API int RF_authentication(int keyChoice, int sector, const uint8_t *key);
/* data receives the 16 bytes after the reply's status; *length = 16. A successful reply
 * carrying fewer than 16 data bytes returns -103 instead and leaves data untouched. */
LORVANE_API int RF_read(int sector, int block, uint8_t *data, int16_t *length);
/* Sends the block address and `count` bytes (count 0 .. 250). */
LORVANE_API int RF_write(int sector, int block, const uint8_t *data, int16_t count);
/* Value blocks: the value travels as 4 bytes, least significant first. initval sets the
 * block's value, Debit subtracts from it, increment adds to it; readval reads it back. */
LORVANE_API int RF_initval(int sector, int block, int32_t value);
LORVANE_API int RF_readval(int sector, int block, int32_t *value);
LORVANE_API int RF_Debit(int sector, int block, int32_t value);
LORVANE_API int RF_increment(int sector, int block, int32_t value);
/* mode as RF_Request. result receives 4 bytes in the order the reader sends them;
 * *length = 4. */
LORVANE_API int RF_Reset(int mode, uint32_t *result, int16_t *length);
/* Sends `count` command bytes (0 .. 251); response receives the reply's data bytes (at most
 * 504) and *responseLength their number. */
LORVANE_API int RF_COS(const uint8_t *command, int16_t count, uint8_t *response,
                       int16_t *responseLength);

#ifdef __cplusplus
}
#endif

#endif
