/* A stand-in HID library: the four transport entry points (HID_READ left out when built
 * with FAKE_PARTIAL), the pump hook, and counters the tests read. */
#include <string.h>

static int inits, closes, writes, reads;
static void (*pump)(void *);
static void *pumpContext;

int HID_Init(void) {
    return ++inits, 0;
}
int HID_Close(void) {
    return ++closes, 0;
}
int HID_WRITE(unsigned char *frame, int length, int mode, char *trace) {
    (void)frame, (void)length, (void)mode;
    trace[0] = 0;
    return ++writes, 0;
}
#ifndef FAKE_PARTIAL
int HID_READ(unsigned char *reply, int *length, int mode, char *trace) {
    (void)mode;
    trace[0] = 0;
    memcpy(reply, "V1", 2);
    *length = 2;
    return ++reads, 0;
}
#endif
void HID_SetMessagePump(void (*p)(void *), void *ctx) {
    pump = p;
    pumpContext = ctx;
}

void fake_hid_counts(int *out) {
    out[0] = inits, out[1] = closes, out[2] = writes, out[3] = reads;
}
int fake_hid_run_pump(void) {
    if (!pump) return 0;
    pump(pumpContext);
    return 1;
}
