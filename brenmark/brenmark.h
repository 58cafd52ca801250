/* brenmark: PC/SC reader access for cardtool.
 *
 * Six plain C calls over the system smart-card service (pcsc-lite): list the readers,
 * connect to one, exchange one command with the card, check the card's state,
 * disconnect, and release the service context. The library keeps one context, one reader
 * list and one card connection for the whole process; it is not thread-safe and is meant
 * to be called from one thread. The program loads it by file name (libbrenmark.so) and
 * looks the six functions up by these names.
 *
 * Every call returns 0 for success or one of the negative codes below; the listing may
 * also pass on the service's own error code unchanged.
 *
 * Calling order: PS_GetDeviceList (establishes the context), PS_OpenDevice with an index
 * of that list, any number of PS_TransmitData and PS_ATRReset, PS_CloseDevice, and
 * PS_FreeDevice when the service is no longer needed.
 */
#ifndef BRENMARK_H
#define BRENMARK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(BRENMARK_BUILD)
#define BRENMARK_API __attribute__((visibility("default")))
#else
#define BRENMARK_API
#endif

/* Result codes. */
#define PS_OK 0
/* A bad argument: reader index outside the list, a command of no bytes, or a null
 * pointer where a buffer is needed. */
#define PS_ERR_ARGUMENT (-1001)
/* No card is connected (never opened, closed, or the connection ended by a new listing
 * or by PS_FreeDevice). */
#define PS_ERR_NO_CARD (-1002)
/* The service refused the connection, the exchange or the state query (this includes a
 * card that was removed, and connecting when no context is held). */
#define PS_ERR_REFUSED (-1003)
/* The smart-card service context could not be established (no service running). */
#define PS_ERR_NO_CONTEXT (-1004)
/* The service lists no reader. pcsc-lite itself reports an empty reader list as the
 * listing error SCARD_E_NO_READERS_AVAILABLE (0x8010002E), which is passed on unchanged
 * as a negative int; -1006 is returned when the listing succeeds without a name. */
#define PS_ERR_NO_READER (-1006)

/* Limits of the reader table. */
#define PS_MAX_READERS 20
#define PS_NAME_SLOT 100 /* bytes per reader in the caller's buffer */

/* Lists the readers. names receives, for reader i, 100 bytes at offset i*100: the
 * NUL-terminated name followed by zero bytes; a name of 100 characters or more is cut to
 * 99 characters there (the library keeps the full name for connecting). At most 20
 * readers are listed and at most 2000 bytes written. *count receives the number of
 * readers on success and is left alone otherwise.
 * A listing first ends any card connection and releases the previous context.
 * Returns 0, PS_ERR_NO_CONTEXT, PS_ERR_NO_READER, PS_ERR_ARGUMENT (null pointer), or the
 * service's listing error code unchanged. */
BRENMARK_API int PS_GetDeviceList(char *names, int *count);

/* Connects exclusively to reader index of the last listing, allowing T=0 and T=1; the
 * negotiated protocol is used for every exchange. Any previous connection is ended first.
 * Returns 0, PS_ERR_ARGUMENT (index below 0 or not below the count, with no call to the
 * service) or PS_ERR_REFUSED. */
BRENMARK_API int PS_OpenDevice(int index);

/* Ends the card connection, leaving the card as it is. Always returns 0. */
BRENMARK_API int PS_CloseDevice(void);

/* Ends any card connection and releases the context. Without a context it does nothing.
 * Always returns 0. */
BRENMARK_API int PS_FreeDevice(void);

/* Sends length command bytes to the card and copies the response into response (at most
 * 260 bytes are asked for, so the caller's buffer needs 260 bytes; the program gives
 * 1024), with its length in *response_length.
 * Returns 0, PS_ERR_ARGUMENT (length below 1 or a null pointer), PS_ERR_NO_CARD or
 * PS_ERR_REFUSED (the exchange failed; *response_length is then left alone). */
BRENMARK_API int PS_TransmitData(const unsigned char *command, int length, unsigned char *response,
                                 int *response_length);

/* Checks the connected card's state (the answer to reset is read but not handed out).
 * Returns 0, or PS_ERR_REFUSED when no card is connected or its state cannot be read
 * (for example the card was removed). */
BRENMARK_API int PS_ATRReset(void);

#ifdef __cplusplus
}
#endif

#endif
