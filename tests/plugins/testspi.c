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
    return memcmp(dw, "TESTPIC", 7) == 0;
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
int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                   SpiProgressCallback cb, intptr_t lData)
{
    (void)buf;
    (void)len;
    (void)flag;
    (void)pHBInfo;
    (void)pHBm;
    (void)cb;
    (void)lData;
    return SPI_NOT_SUPPORT;
}
#endif
#endif
