#pragma once
/* libserivo: the serial transport of the magnetic-stripe reader. Same shape as the HID
 * library's transport calls; every function returns 0 for success.
 *
 * Port numbers: COM_Init(n) opens /dev/ttyS<n-1> for n = 1..99 and /dev/ttyUSB<n-101>
 * for n = 101..199 (USB serial adapters); other numbers fail. When the environment
 * variable SERIVO_DEVICE names a path, that device is opened whatever n is (tests point
 * it at a pseudo-terminal). The line runs raw at 9600 baud, 8 data bits, no parity,
 * 1 stop bit.
 *
 * Framing on the wire, both directions:
 *   to the reader:   STX 0x02, length high, length low, frame bytes, XOR, ETX 0x03
 *   from the reader: STX 0x02, status, length high, length low, payload, XOR, ETX 0x03
 * XOR is the exclusive or of every byte between STX and it. Status 0x30 ("0") is success.
 *
 * Trace text: every byte sent or received on the wire as "%02X " (so characters 3 and 4
 * of a read's trace are the reply's status byte), always NUL-terminated within 2048
 * characters; bytes beyond that are not traced.
 *
 * Waiting: a reply must complete within SERIVO_TIMEOUT_MS milliseconds (environment,
 * default 2000).
 */
#ifdef __cplusplus
extern "C" {
#endif

/* Opens port n. 0 = open; -1 = no such port number; -2 = the device cannot be opened or
 * configured. Opening again closes the previous port first. */
int COM_Init(int port);
/* Closes the port; always 0. */
int COM_Close(void);
/* Sends frame[0..length-1] (length 1..1024). `mode` is ignored (callers pass 2).
 * 0 = sent; -9 = bad length; -91 = port not open; -92 = the line did not take it. */
int COM_WRITE(unsigned char *frame, int length, int mode, char *trace);
/* Reads one reply. 0 = status 0x30: the payload is stored in reply (at most 1024 bytes)
 * and its count in *length. Any other status byte is returned as the result (a status
 * 0x00 as -95), nothing stored. -91 = port not open; -92 = no complete reply in time;
 * -93 = a payload longer than 1024 bytes (refused, nothing stored); -94 = a malformed
 * reply (bad lead, checksum or end byte). */
int COM_READ(unsigned char *reply, int *length, int mode, char *trace);
/* The same as COM_READ. */
int COM_READ1(unsigned char *reply, int *length, int mode, char *trace);
/* Receive mode (after Set_flagT): takes one byte off the line into buffer[0], waiting up
 * to 50 ms for it. 0 = a byte was stored; 1 = nothing arrived (or receive mode is off);
 * -9 = count below 1 or no buffer; -91 = port not open. */
int COM_RECV(unsigned char *buffer, int count);
/* Switches receive mode on (discarding what waited on the line) and off. Off makes a
 * COM_RECV running on another thread give up within its 50 ms wait. Both return 0. */
int Set_flagT(void);
int Set_flagF(void);

#ifdef __cplusplus
}
#endif
