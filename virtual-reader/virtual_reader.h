/*
 * The virtual reader: a library with hidapi's soname (libhidapi-hidraw.so.0) and the part of
 * hidapi's C API that lorvane uses, playing the card reader's side. Put its folder first on
 * LD_LIBRARY_PATH (or link the CMake target `virtual_reader`) and lorvane talks to it
 * unchanged. This header is its control API for tests; every function is safe to call from any
 * thread, and all state is per process.
 *
 * The reader it presents (after vr_reset):
 *   - one HID interface, vendor 0x10C4, product 0x847C, release 0x0101, path "virtual-reader:0",
 *     65-byte input and output reports with report identifier 8 (its report descriptor says
 *     so through hid_get_report_descriptor);
 *   - the magnetic-stripe reader: configuration block = the factory defaults (the block a Save
 *     of the default settings sends: options record and USA language record, 225 bytes);
 *     version text "KeLdO KM5530 MSR V1.00"; normal mode;
 *   - an IC card in the slot, powered down;
 *   - a Mifare One card in the field (UID A1 B2 C3 D4), every sector with keys A and B =
 *     7B 3E 51 A9 C4 D6 and access bits FF 07 80 69, data blocks zero; antenna on.
 *
 * Messages (the reports a message was cut into, joined again) are answered by the reader's
 * framing: a first report 08, status, length (2 bytes, high first), payload; then
 * floor((L + 2) / (n - 2)) continuation reports 08 B0 payload... Status 0x30 = success.
 * As a hidraw node does: every open handle receives every input report (not only the one
 * that wrote the message), reports join into one message whichever handle wrote them, a
 * report written is taken at the reader's length (cut, or padded with zeros), a leading 0
 * is not sent, and hid_write refuses fewer than 2 bytes (-1).
 *   A9 7E          read configuration: the stored block
 *   AA 7E block    write configuration: stores the block, answers status 0x30 and no data
 *   AD             version: the version text and a NUL
 *   AE 00 / AE 01  normal / test mode: status 0x30, no data
 *   A6 00          IC power up: 0x30 and the ATR 3B 02 14 50; status 0x31 when no IC card
 *   A5 00          IC power down: 0x30
 *   A7 apdu        IC APDU: 0x30 and the response; status 0x31 when the card is not powered
 *   A8 frame       contactless frame (02 ... 03, escaped); answered with 0x30 and a frame
 *                  02 00 00 len cmd status data... checksum 03 (escaped)
 *   anything else  status 0x45
 * APDUs (IC slot and RF_COS): CLA 00 required (else 6E 00), at least 4 bytes (else 67 00);
 * INS A4 -> 90 00; INS 84 -> Le (default 8) challenge bytes + 90 00; INS B0 -> Le bytes
 * 00 01 02 ... + 90 00; other INS -> 6D 00.
 * Contactless statuses: 0 ok; 1 no card / card not selected; 2 authentication failed;
 * 3 block not in the authenticated sector; 4 not a value block; 5 bad frame or parameter;
 * 6 block may not be written this way (block 0, or a sector trailer for value operations).
 * A failed authentication only drops the authentication; the card stays selected.
 *
 * Steering it in another process (tests that run a program as a child cannot call this API
 * there). Off by default: nothing below acts unless its variable is set. When the library is
 * loaded it reads VR_DEVICES=n (1..64: vr_set_reader_count(n)) and then, for each reader k
 * in turn, the variables below: NAME_k (VR_SILENT_2=1) is reader k's own, and goes before the
 * plain NAME that every reader shares. Reader 0's state file and message log are the paths
 * given; reader k's are the paths with ".k" appended (VR_STATE_FILE=/tmp/r.state:
 * /tmp/r.state.3 for reader 3). VR_CONFIG_BLOCK_FILE is read as given by every reader.
 *   VR_STATE_FILE=path         loads the state a previous process left there (if the file
 *                              exists) and writes the state there when the process ends, if
 *                              the process opened that reader (so that processes that each
 *                              work on one reader of a bench leave the others' files alone):
 *                              text lines "config HEX", "mode N", "ic_present N",
 *                              "ic_powered N", "antenna N", "card_present N", "uid HEX" and
 *                              "block N HEX" for the card's 64 blocks (keys included). The
 *                              card always starts unselected.
 *   VR_CONFIG_BLOCK_FILE=path  the configuration block, as raw bytes (vr_set_config_block)
 *   VR_VERSION_TEXT=text       vr_set_version_text
 *   VR_PRESENT=0               vr_set_present(0): unplugged
 *   VR_SILENT=1                vr_set_silent(1)
 *   VR_FAIL_WHEN_EMPTY=1       vr_set_fail_when_empty(1)
 *   VR_ACCESS_CONDITIONS=1     vr_set_access_conditions(1)
 *   VR_REPORT_DELAY_US=n       vr_set_report_delay_us(n)
 *   VR_COMMAND_STATUS=A9:41,.. vr_set_command_status for each command:status pair (hex)
 *   VR_FAULT_MIX=seed:p1,p2,.. vr_set_fault_mix(seed, {0, p1, p2, ...}): per million for
 *                              faults 1, 2, ... (decimal; missing ones are 0)
 * and when the process ends normally, for each reader it opened:
 *   VR_MESSAGE_LOG=path        appends every message it was sent (vr_message), one a line in
 *                              hex, command byte first.
 */
#ifndef VIRTUAL_READER_H
#define VIRTUAL_READER_H

#ifdef __cplusplus
extern "C" {
#endif

#define VR_API __attribute__((visibility("default")))

/* Back to one fresh reader and card (see above), selected: every reader is reset (logs, faults
 * and queued reports cleared) and the count goes back to 1. Open handles stay open. */
VR_API void vr_reset(void);

/* --- several readers ---
 * The virtual reader can present several readers at once (a bench): reader k (0 .. count-1)
 * has the path "virtual-reader:k" and the serial number k + 1 in four digits ("0001" is
 * reader 0), and a state, configuration, card, faults and logs of its own; all are listed,
 * after the other devices, in the order of their numbers. Each handle talks to the reader it
 * was opened on. Every other function of this API acts on the selected reader (reader 0
 * unless chosen); hid_init's failure and the other devices are reader 0's settings. */
/* How many readers are presented (1..64; default 1). Readers beyond the count keep their
 * state but are not listed and cannot be opened. */
VR_API void vr_set_reader_count(int count);
VR_API int vr_reader_count(void);
/* The reader the control API acts on from now on, in every thread (0..63). */
VR_API void vr_select_reader(int index);
VR_API int vr_selected_reader(void);

/* --- identity and presence --- */
VR_API void vr_set_identity(unsigned short vendor, unsigned short product, unsigned short release);
/* Input and output report length, report identifier included (3..1024; default 65). */
VR_API void vr_set_report_length(int length);
/* The report identifier (default 8); 0: the reports carry none, and as over hidraw an input
 * report is read without its byte 0 (length - 1 bytes) and a leading 0 of a report written
 * is not part of it. */
VR_API void vr_set_report_id(int id);
/* 0: hid_get_report_descriptor fails (so the library falls back to 65/65). Default 1. */
VR_API void vr_set_descriptor_available(int available);
/* Replaces the generated descriptor with these bytes (size 0: back to the generated one). */
VR_API void vr_set_descriptor(const unsigned char *bytes, int size);
/* 0: unplugged: not enumerated, opens fail, reads and writes on open handles fail. */
VR_API void vr_set_present(int present);
/* 1: hid_init fails (the HID layer is unavailable). Default 0. */
VR_API void vr_set_hid_init_fails(int fails);
/* Other HID interfaces (vendor 0x1234) enumerated before the reader (default 0). */
VR_API void vr_set_other_devices(int count);

/* --- faults and timing --- */
/* 1: messages are taken (and logged) but neither acted on nor answered. */
VR_API void vr_set_silent(int silent);
/* Every message is answered by a first report with this status byte and no data (-1: off). */
VR_API void vr_set_status(int status);
/* The same for one command byte only (e.g. 0xA9); status -1 clears it. */
VR_API void vr_set_command_status(int command, int status);
/* Every contactless frame is answered with this contactless status and no data (-1: off). */
VR_API void vr_set_rf_status(int status);
/* Puts `count` spurious reports (08, statusByte, EE...) before every continuation report. */
VR_API void vr_set_spurious_reports(int count, int statusByte);
/* Pacing: each report written takes this long, and reply reports arrive this far apart (the
 * first one this long after the message). Default 0. */
VR_API void vr_set_report_delay_us(int microseconds);
/* Each hid_write blocks this long before it is taken (default 0). */
VR_API void vr_set_write_stall_ms(int milliseconds);
/* 1: a read that finds no report queued fails at once (as if the reader were unplugged)
 * instead of waiting. Default 0. */
VR_API void vr_set_fail_when_empty(int on);

/* --- replies --- */
/* The next message is answered with this status and payload instead, framed as usual. */
VR_API void vr_set_next_reply(int status, const unsigned char *payload, int size);
/* The next message is answered with these raw bytes, cut into input reports of the report
 * length (the last one padded with zeros); size 0 answers nothing. */
VR_API void vr_set_next_reply_raw(const unsigned char *reports, int size);
/* Queues one input report now on every open handle (padded or cut to the report length). */
VR_API void vr_queue_input_report(const unsigned char *report, int size);
/* Input reports queued on open handles and not read yet. */
VR_API int vr_pending_input_reports(void);

/* --- what was written --- */
/* Every report written (the most recent 4096 are kept), in order. */
VR_API int vr_written_report_count(void);
/* Copies report `index` (at most `capacity` bytes); returns its length, or -1. */
VR_API int vr_written_report(int index, unsigned char *buffer, int capacity);
/* Every complete message: the command byte (lead byte with bit 7 set), then the payload. */
VR_API int vr_message_count(void);
VR_API int vr_message(int index, unsigned char *buffer, int capacity);
/* What became of message `index` (the same numbering):
 *   vr_message_acted: 1 when the reader acted on it (a configuration written was stored, a
 *   mode set...), 0 when it did not (a forced status or reply, silence, an unanswered
 *   message, and the faults that leave the reader untouched), -1 for a bad index;
 *   vr_message_answered_by: whose answer the host read first after sending it (the one it
 *   takes for its reply): 0 its own (or a stale one identical to it), k > 0 the answer of
 *   the message k before it, -1 bytes that answer no message (garbage, a raw reply, another
 *   command's answer), -2 nothing was read, -3 a bad index. Over the serial front end an
 *   answered message counts as read. */
VR_API int vr_message_acted(int index);
VR_API int vr_message_answered_by(int index);
VR_API void vr_clear_log(void);
/* Input reports the host has read since the last reset or vr_clear_log (the wire time of a
 * paced exchange is this plus vr_written_report_count, one pacing step each). */
VR_API int vr_read_report_count(void);
/* Number of hid_device handles open now. */
VR_API int vr_open_handles(void);

/* --- the magnetic-stripe reader --- */
VR_API void vr_set_config_block(const unsigned char *block, int size);
/* Copies the stored configuration block; returns its length. */
VR_API int vr_config_block(unsigned char *buffer, int capacity);
VR_API void vr_set_version_text(const char *text);
/* 0 = normal mode, 1 = test mode. */
VR_API int vr_mode(void);

/* --- the IC card slot --- */
VR_API void vr_set_ic_card_present(int present);
VR_API int vr_ic_powered(void);

/* --- the Mifare One card --- */
/* 0 removes the card from the field; 1 puts it back (unselected). */
VR_API void vr_set_card_present(int present);
VR_API void vr_remove_card(void);
VR_API void vr_set_card_uid(const unsigned char uid[4]);
/* Block 0..63 as stored (keys included); returns 0, or -1 for a bad block number. */
VR_API int vr_card_block(int block, unsigned char data[16]);
VR_API int vr_set_card_block(int block, const unsigned char data[16]);
/* 1 when the antenna is on. */
VR_API int vr_antenna(void);

/* --- fault injection --- */
/* What a message can meet on its way. A wrong status, a stale success and another command's
 * answer leave the reader untouched; with every other fault the reader acted on the message
 * (a configuration written is stored) and the fault strikes on the way back. */
enum {
    VR_FAULT_NONE = 0,          /* answered normally */
    VR_FAULT_LOST = 1,          /* the answer is lost */
    VR_FAULT_LATE = 2,          /* answered after the host's 5 s wait (vr_set_late_ms, 5500) */
    VR_FAULT_LATE_WITHIN = 3,   /* answered just within it (4500 ms) */
    VR_FAULT_WRONG_STATUS = 4,  /* not acted on; status 0x31, 0x32, 0x45, 0x00 or 0xFF */
    VR_FAULT_GARBAGE = 5,       /* bytes that are no reply: noise with a status other than
                                   success, a reply declaring over 1024 bytes, or a success
                                   with random content */
    VR_FAULT_STALE = 6,         /* the answer of the previous message comes first, then its own */
    VR_FAULT_STALE_AFTER = 7,   /* its own answer, then the previous message's (left queued) */
    VR_FAULT_UNPLUG = 8,        /* unplugged as the answer is read: after its first report when
                                   it has more, before it otherwise (vr_set_present(1) replugs) */
    VR_FAULT_STALE_SUCCESS = 9, /* not acted on; the success the last configuration written got
                                   (status 0x30, no data) arrives in its place */
    VR_FAULT_OTHER_ANSWER = 10, /* not acted on; a success exactly as long as its own answer
                                   would be, holding another command's answer (the version text
                                   for a read configuration, else the configuration block) */
    VR_FAULT_KINDS = 11
};
/* The next message meets this fault; successive calls fault successive messages. They go
 * before the mix below. */
VR_API void vr_fault_next(int fault);
/* Seeded random faults: per_million[k] of a million messages meet fault k (index 0 is
 * ignored; the rest answered normally). All zero (or a null array): off. The choices within a
 * fault (which status, which garbage) come from the same seeded sequence. */
VR_API void vr_set_fault_mix(unsigned seed, const int per_million[VR_FAULT_KINDS]);
/* How late the two late faults answer, in milliseconds after the message. */
VR_API void vr_set_late_ms(int past, int within);
/* Messages that met fault k since the last reset (k = 0: those answered normally). */
VR_API int vr_faults_injected(int fault);
/* Handles opened and closed since the last reset. */
VR_API void vr_handle_counts(int *opened, int *closed);

/* --- the Mifare One card, stricter (all off after vr_reset) --- */
/* Every frame of this contactless command code (e.g. 0x47 anticollision, 0x4B read) is
 * answered with this contactless status and no data; status -1 clears it. */
VR_API void vr_set_rf_command_status(int command, int status);
/* 1: a failed authentication halts the card as a real one does: it then answers nothing until
 * a request for all cards (0x52) wakes it, so a new search is needed. */
VR_API void vr_set_halt_on_wrong_key(int on);
/* 1: the access conditions C1 C2 C3 of each sector trailer are enforced, and a sector whose
 * access bytes (trailer bytes 6..8) break the complement rule is blocked: authentication to it
 * fails with status 2. Anything the conditions forbid fails with status 6: reading, writing
 * and value operations on data blocks; reading a trailer shows zeros where the key may not
 * read; writing a trailer fails when it would change a part the key may not write. A key B
 * that the trailer lets be read opens nothing (as on a real card), so with the card's default
 * access bytes only key A works. */
VR_API void vr_set_access_conditions(int on);
/* 1 when sector 0..15's access bytes break the complement rule (blocked under the option
 * above), 0 when they keep it, -1 for another sector number. */
VR_API int vr_sector_blocked(int sector);
/* 1 while the card is halted (see vr_set_halt_on_wrong_key). */
VR_API int vr_card_halted(void);

/* --- unanswered messages and the serial front end --- */
/* The reader's next `count` messages (over either front end) are taken and logged but not
 * answered; later ones are answered as before. vr_reset sets the count back to 0. */
VR_API void vr_set_unanswered(int count);
/* Opens the serial front end: a pseudo-terminal whose other side plays the same reader for
 * the serial library (point SERIVO_DEVICE at the returned path). Frames arrive as STX 02,
 * length high, length low, frame, XOR, ETX 03 and are answered as STX, status, length high,
 * length low, payload, XOR, ETX, from the same reader state and faults as over HID (silent,
 * statuses, the next reply, unanswered messages; raw HID replies do not apply); every frame
 * is logged as a message. Returns NULL when no pseudo-terminal can be had; while open, a
 * second call returns the same path. The terminal survives vr_reset. */
VR_API const char *vr_serial_open(void);
/* Stops the front end and closes the terminal. */
VR_API void vr_serial_close(void);
/* Puts bytes on the line towards the program, as the reader sends data unasked (an
 * iButton's bytes). Returns `size`, or -1 when the front end is not open. */
VR_API int vr_serial_send(const unsigned char *bytes, int size);

#ifdef __cplusplus
}
#endif

#endif
