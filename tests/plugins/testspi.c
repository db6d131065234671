/* A test plug-in; the variant is chosen when it is built. */
#include "spi.h"

#include <string.h>

static int32_t put(char *buf, int32_t len, const char *s)
{
    int32_t n = (int32_t)strlen(s);
    if (n >= len)
        n = len - 1;
    memcpy(buf, s, (size_t)n);
    buf[n] = 0;
    return n;
}

int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
#if defined(VARIANT_NOVERSION)
    if (infono == 0)
        return 0;
#endif
    switch (infono) {
    case 0:
#if defined(VARIANT_AM)
        return put(buf, buflen, "00AM");
#else
        return put(buf, buflen, "00IN");
#endif
    case 1:
        return put(buf, buflen, "Test plug-in " VARIANT_NAME);
    case 2:
        return put(buf, buflen, "*.MAG");
    case 3:
        return put(buf, buflen, "MAG format");
    case 4:
        return put(buf, buflen, "*.pi1;*.pi2");
    case 5:
        return put(buf, buflen, "PI format");
    case 6:
        return put(buf, buflen, "*.half"); /* its description is missing: not taken */
    default:
        return 0;
    }
}

#if !defined(VARIANT_AM)
int32_t IsSupported(const char *filename, const void *dw)
{
    (void)filename;
#if defined(VARIANT_SLOW)
    return memcmp(dw, "TESTSLOW", 8) == 0;
#elif defined(VARIANT_FAIL)
    return memcmp(dw, "TESTFAIL", 8) == 0;
#else
    return memcmp(dw, "TESTPIC", 7) == 0;
#endif
}

int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SpiPictureInfo *lpInfo)
{
    (void)buf;
    (void)len;
    (void)flag;
    (void)lpInfo;
    return SPI_NOT_SUPPORT;
}

#if !defined(VARIANT_NOENTRY)
#include <stdlib.h>
#include <time.h>

static intptr_t g_lastLength;
static int g_zeroTail;
static int g_steps;

/* How far the last GetPicture of the slow variant got. */
__attribute__((visibility("default"))) int TestSteps(void)
{
    return g_steps;
}

__attribute__((visibility("default"))) intptr_t TestLastLength(void)
{
    return g_lastLength;
}

__attribute__((visibility("default"))) int TestZeroTail(void)
{
    return g_zeroTail;
}

/* A 1 x 1 picture of 4 bits with a 16-entry palette (entry 5 used), reporting progress. */
int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                   SpiProgressCallback cb, intptr_t lData)
{
    (void)flag;
    g_lastLength = len;
    g_zeroTail = 1;
    for (intptr_t i = len; i < 2048; ++i)
        if (buf[i] != 0)
            g_zeroTail = 0;
#if defined(VARIANT_FAIL)
    /* Starts, then finds the data broken. */
    if (cb && cb(0, 4, lData))
        return SPI_ABORT;
    return SPI_OUT_OF_ORDER;
#elif defined(VARIANT_SLOW)
    /* Takes its time, a hundred steps of 2 ms, and stops when asked. */
    for (int i = 0; i <= 100; ++i) {
        g_steps = i;
        if (cb && cb(i, 100, lData))
            return SPI_ABORT;
        struct timespec ts = {0, 2000000};
        nanosleep(&ts, NULL);
    }
#else
    if (cb && (cb(0, 4, lData) || cb(2, 4, lData) || cb(4, 4, lData)))
        return SPI_ABORT;
#endif
    unsigned char *h = calloc(1, 40 + 64), *b = calloc(1, 4);
    h[0] = 40;
    h[4] = 1;
    h[8] = 1;
    h[12] = 1;
    h[14] = 4;
    h[32] = 16;
    for (int i = 0; i < 16; ++i) {
        h[40 + 4 * i] = (unsigned char)(i * 16);     /* blue */
        h[40 + 4 * i + 1] = (unsigned char)(i * 8);  /* green */
        h[40 + 4 * i + 2] = (unsigned char)(255 - i); /* red */
    }
    b[0] = 0x50; /* index 5 in the high nibble */
    *pHBInfo = h;
    *pHBm = b;
    return SPI_ALL_RIGHT;
}
#endif
#endif
