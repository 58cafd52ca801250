/* A stand-in for the contactless library: its eighteen names (RF_Select left out when built
 * with FAKE_PARTIAL), the pump hook, and a way for the test to run the pump. The binding only
 * looks names up, so the stand-ins take nothing. */
#define STUB(name)                                                                                 \
    int name(void) {                                                                               \
        return 0;                                                                                  \
    }

STUB(HID_Init)
STUB(HID_Close)
STUB(HID_WRITE)
STUB(HID_READ)
STUB(RF_Antenna_Sta)
STUB(RF_Init_Type)
STUB(RF_Request)
STUB(RF_Anticoll)
#ifndef FAKE_PARTIAL
STUB(RF_Select)
#endif
STUB(RF_authentication)
STUB(RF_read)
STUB(RF_write)
STUB(RF_initval)
STUB(RF_increment)
STUB(RF_Debit)
STUB(RF_readval)
STUB(RF_Reset)
STUB(RF_COS)

static void (*pump)(void *);
static void *pumpContext;

void HID_SetMessagePump(void (*p)(void *), void *ctx) {
    pump = p;
    pumpContext = ctx;
}
int fake_rfid_run_pump(void) {
    if (!pump) return 0;
    pump(pumpContext);
    return 1;
}
