/* A stand-in for the contactless library: its eighteen entry points (RF_Select left out when
 * built with FAKE_PARTIAL), the pump hook, and a way for the test to run the pump. */
#include <stdint.h>

static void (*pump)(void *);
static void *pumpContext;

int HID_Init(void) {
    return 0;
}
int HID_Close(void) {
    return 0;
}
int HID_WRITE(unsigned char *f, int n, int m, char *t) {
    (void)f, (void)n, (void)m, (void)t;
    return 0;
}
int HID_READ(unsigned char *r, int *n, int m, char *t) {
    (void)r, (void)n, (void)m, (void)t;
    return 0;
}
int RF_Antenna_Sta(int on) {
    return on ? 0 : 0;
}
int RF_Init_Type(int type) {
    (void)type;
    return 0;
}
int RF_Request(int mode, int16_t *type) {
    (void)mode, (void)type;
    return 0;
}
int RF_Anticoll(int p, uint32_t *s, int16_t *n) {
    (void)p, (void)s, (void)n;
    return 0;
}
#ifndef FAKE_PARTIAL
int RF_Select(const uint8_t *s, int16_t n) {
    (void)s, (void)n;
    return 0;
}
#endif
int RF_authentication(int k, int s, const uint8_t *key) {
    (void)k, (void)s, (void)key;
    return 0;
}
int RF_read(int s, int b, uint8_t *d, int16_t *n) {
    (void)s, (void)b, (void)d, (void)n;
    return 0;
}
int RF_write(int s, int b, const uint8_t *d, int16_t n) {
    (void)s, (void)b, (void)d, (void)n;
    return 0;
}
int RF_initval(int s, int b, int32_t v) {
    (void)s, (void)b, (void)v;
    return 0;
}
int RF_increment(int s, int b, int32_t v) {
    (void)s, (void)b, (void)v;
    return 0;
}
int RF_Debit(int s, int b, int32_t v) {
    (void)s, (void)b, (void)v;
    return 0;
}
int RF_readval(int s, int b, int32_t *v) {
    (void)s, (void)b, (void)v;
    return 0;
}
int RF_Reset(int m, uint32_t *r, int16_t *n) {
    (void)m, (void)r, (void)n;
    return 0;
}
int RF_COS(const uint8_t *c, int16_t n, uint8_t *r, int16_t *rn) {
    (void)c, (void)n, (void)r, (void)rn;
    return 0;
}

void HID_SetMessagePump(void (*p)(void *), void *ctx) {
    pump = p;
    pumpContext = ctx;
}
int fake_rfid_run_pump(void) {
    if (!pump) return 0;
    pump(pumpContext);
    return 1;
}
