/* The image plug-in interface on Linux: Susie's four entry points with a C ABI for 64-bit
 * Linux. Plug-ins are shared objects named *.spi that export these symbols unmangled.
 *
 * Differences from the Windows original, forced by the platform:
 * - Integers that were 32-bit (Windows long) stay 32-bit (int32_t); sizes and the callback's
 *   user value, pointer-sized on Win64, are intptr_t.
 * - The picture-information record keeps its packed layout; its last field, a memory handle on
 *   Windows (4 bytes on Win32, which made the record 26 bytes), is a pointer here, so the record
 *   is 30 bytes.
 * - Handles to memory blocks become pointers to blocks the plug-in allocates with malloc(); the
 *   host releases them with free() once it has copied the picture out. Both sides use the one C
 *   library of the process, so this is safe.
 * - IsSupported receives a pointer to at least 2048 bytes of the file's head, never a file handle.
 */
#ifndef PICTLANE_SPI_H
#define PICTLANE_SPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
typedef struct SpiPictureInfo {
    int32_t left, top; /* where the picture goes */
    int32_t width;     /* in pixels */
    int32_t height;
    uint16_t x_density; /* pixels per unit */
    uint16_t y_density;
    int16_t colorDepth; /* bits per pixel */
    char *hInfo;        /* text information, malloc'd by the plug-in, or NULL */
} SpiPictureInfo;
#pragma pack(pop)

/* Return codes of the picture calls. */
enum {
    SPI_NO_FUNCTION = -1, /* not implemented */
    SPI_ALL_RIGHT = 0,
    SPI_ABORT = 1,        /* the callback asked to stop */
    SPI_NOT_SUPPORT = 2,  /* unknown format */
    SPI_OUT_OF_ORDER = 3, /* broken data */
    SPI_NO_MEMORY = 4,
    SPI_MEMORY_ERROR = 5,
    SPI_FILE_READ_ERROR = 6,
    SPI_WINDOW_ERROR = 7,
    SPI_OTHER_ERROR = 8,
    SPI_FILE_WRITE_ERROR = 9,
    SPI_END_OF_FILE = 10
};

/* Progress: nNum of nDenom done. A non-zero result asks the plug-in to stop (SPI_ABORT). */
typedef int32_t (*SpiProgressCallback)(int32_t nNum, int32_t nDenom, intptr_t lData);

/* 0: API version ("00IN" image import, "00AM" archive, "00XN" export); 1: name and notice;
 * 2n+2, 2n+3: file pattern ("*.ext" or "*.e1;*.e2") and its description. Returns the length
 * written, 0 when there is no such entry. */
int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen);
/* Non-zero when the plug-in reads this file; dw points at the file's first bytes. */
int32_t IsSupported(const char *filename, const void *dw);
/* flag bits 0-2: 0 = buf is a file name and len an offset into it, 1 = buf is len bytes in memory. */
int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SpiPictureInfo *lpInfo);
/* *pHBInfo receives a BITMAPINFO (header and colour table), *pHBm the pixel rows bottom-up,
 * padded to 4 bytes; both malloc'd by the plug-in and freed by the host. */
int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                   SpiProgressCallback lpPrgressCallback, intptr_t lData);

#ifdef __cplusplus
}
#endif

#endif
