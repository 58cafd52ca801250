/* A stand-in serial library; built with FAKE_PARTIAL it lacks COM_READ1. */
int COM_Init(int port) {
    return port == 0 ? 0 : 0;
}
int COM_Close(void) {
    return 0;
}
int COM_WRITE(unsigned char *f, int n, int m, char *t) {
    return (void)f, (void)n, (void)m, (void)t, 0;
}
int COM_READ(unsigned char *r, int *n, int m, char *t) {
    return (void)r, (void)m, (void)t, *n = 0, 0;
}
#ifndef FAKE_PARTIAL
int COM_READ1(unsigned char *r, int *n, int m, char *t) {
    return COM_READ(r, n, m, t);
}
#endif
int COM_RECV(unsigned char *b, int n) {
    return (void)b, (void)n, 1;
}
int Set_flagT(void) {
    return 0;
}
int Set_flagF(void) {
    return 0;
}
