/* A stand-in smart-card library for the window's tests without a smart-card service: the
 * six PS_ entry points (PS_ATRReset left out when built with FAKE_PARTIAL) with scripted
 * results, counters and the last command, and the fake_ps_ calls that set and read them.
 * Its default script: two readers, every call succeeds, GET CHALLENGE (00 84 00 00 Le)
 * gives Le bytes and 90 00, any other command 90 00. */
#include <string.h>

enum { kList, kOpen, kClose, kFree, kTransmit, kReset, kCalls };

static int calls[kCalls];
static int results[kCalls];
static char names[2000];
static int namesLength;
static int listCount;
static unsigned char answer[1024];
static int answerLength = -1; /* -1: the default answers */
static int reportedLength;
static unsigned char lastCommand[4096];
static int lastLength = -1;
static int lastOpenIndex = -100;

void fake_ps_reset(void) {
    static const char two[] = "Lab Reader 00 00";
    static const char second[] = "Lab Reader 00 01";
    memset(calls, 0, sizeof calls);
    memset(results, 0, sizeof results);
    memset(names, 0, sizeof names);
    memcpy(names, two, sizeof two);
    memcpy(names + 100, second, sizeof second);
    namesLength = 200;
    listCount = 2;
    answerLength = -1;
    lastLength = -1;
    lastOpenIndex = -100;
}

/* The listing: result, the count handed back and the bytes written into the caller's
 * buffer (at most 2000). */
void fake_ps_set_list(int result, int count, const char *bytes, int length) {
    results[kList] = result;
    listCount = count;
    if (length > (int)sizeof names) length = (int)sizeof names;
    memset(names, 0, sizeof names);
    memcpy(names, bytes, (size_t)length);
    namesLength = length;
}

/* The result of one call: 0 list, 1 open, 2 close, 3 free, 4 transmit, 5 reset. */
void fake_ps_set_result(int call, int result) {
    if (call >= 0 && call < kCalls) results[call] = result;
}

/* Every exchange answers these bytes (at most 1024 are written) and reports `reported`
 * as the response length, whatever that says. */
void fake_ps_set_answer(const unsigned char *bytes, int length, int reported) {
    if (length > (int)sizeof answer) length = (int)sizeof answer;
    memcpy(answer, bytes, (size_t)length);
    answerLength = length;
    reportedLength = reported;
}

int fake_ps_calls(int call) {
    return call >= 0 && call < kCalls ? calls[call] : -1;
}
int fake_ps_last_open_index(void) {
    return lastOpenIndex;
}
/* The last command sent; its length, or -1 when none was. */
int fake_ps_last_command(unsigned char *out, int size) {
    if (lastLength > 0) memcpy(out, lastCommand, (size_t)(lastLength < size ? lastLength : size));
    return lastLength;
}

int PS_GetDeviceList(char *buffer, int *count) {
    ++calls[kList];
    memcpy(buffer, names, (size_t)namesLength);
    *count = listCount;
    return results[kList];
}

int PS_OpenDevice(int index) {
    ++calls[kOpen];
    lastOpenIndex = index;
    return results[kOpen];
}

int PS_CloseDevice(void) {
    ++calls[kClose];
    return results[kClose];
}

int PS_FreeDevice(void) {
    ++calls[kFree];
    return results[kFree];
}

int PS_TransmitData(const unsigned char *command, int length, unsigned char *response,
                    int *responseLength) {
    ++calls[kTransmit];
    lastLength = length;
    if (length > 0)
        memcpy(lastCommand, command,
               (size_t)(length < (int)sizeof lastCommand ? length : (int)sizeof lastCommand));
    if (results[kTransmit] != 0) return results[kTransmit];
    if (answerLength >= 0) {
        memcpy(response, answer, (size_t)answerLength);
        *responseLength = reportedLength;
        return 0;
    }
    int n = 0;
    if (length == 5 && command[0] == 0x00 && command[1] == 0x84) {
        int le = command[4] == 0 ? 256 : command[4];
        for (; n < le; ++n)
            response[n] = (unsigned char)(0x3C + 0x5B * n);
    }
    response[n++] = 0x90;
    response[n++] = 0x00;
    *responseLength = n;
    return 0;
}

#ifndef FAKE_PARTIAL
int PS_ATRReset(void) {
    ++calls[kReset];
    return results[kReset];
}
#endif

/* The script starts as the default one. */
__attribute__((constructor)) static void fake_ps_start(void) {
    fake_ps_reset();
}
