/* The archiver library interface on Linux: one shared module per archive family, exporting a
 * command function and four listing functions with a C ABI.
 *
 * Differences from the Windows original, forced by the platform:
 * - The owner window is an X11 window id (uintptr_t); the modules show no windows and ignore it.
 * - The archive handle, a 32-bit HARC on Win32, is an opaque pointer; NULL means failure.
 * - Text (command lines, names in the entry record) is UTF-8; names stored in Shift-JIS inside
 *   an archive are converted by the module.
 * - Folders in command lines end in "/" instead of "\".
 * The entry record keeps its published layout: the name starts at byte offset 26.
 */
#ifndef PICTLANE_ARCAPI_H
#define PICTLANE_ARCAPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ARC_FNAME_MAX 512

typedef struct ArcIndividualInfo {
    uint32_t dwOriginalSize;
    uint32_t dwCompressedSize; /* 0 when the format does not tell */
    uint32_t dwCRC;
    uint32_t uFlag;
    uint32_t uOSType;
    uint16_t wRatio; /* per mille */
    uint16_t wDate;  /* MS-DOS date and time */
    uint16_t wTime;
    char szFileName[ARC_FNAME_MAX + 1]; /* UTF-8, folders separated by "/" */
    char dummy1[3];
    char szAttribute[8];
    char szMode[8]; /* method, e.g. "-lh5-" */
} ArcIndividualInfo;

typedef struct ArcHandleRec *HARC;

/* Result codes of the command function (0 is success). */
enum {
    ARC_OK = 0,
    ARC_ERROR_DISK_SPACE = 0x8005,   /* no room for an entry where it was to go */
    ARC_ERROR_CANNOT_WRITE = 0x8013, /* an entry could not be written */
    ARC_ERROR_UNSAFE_NAME = 0x8017,  /* an entry would land outside the destination */
    ARC_ERROR_ARC_FILE_OPEN = 0x8018,
    ARC_ERROR_NOT_ARC_FILE = 0x8019,
    ARC_ERROR_CANNOT_READ = 0x801A, /* damaged, truncated or encrypted data */
    ARC_ERROR_COMMAND_NAME = 0x801C,
    ARC_ERROR_NOT_EXIST = 0x800F, /* a requested entry is not in the archive */
    ARC_ERROR_NOT_SUPPORT = 0x8023
};

/* Command function: performs a console-style command line; writes a report into output when it
 * is not NULL (at most size bytes, NUL-terminated). */
typedef int32_t (*ArcCommandProc)(uintptr_t wnd, const char *cmdLine, char *output, uint32_t size);
/* Listing: open returns NULL when the file is not an archive of the family. */
typedef HARC (*ArcOpenProc)(uintptr_t wnd, const char *archive, uint32_t mode);
typedef int32_t (*ArcCloseProc)(HARC arc);
/* 0 while an entry was found and written into info; -1 at the end. */
typedef int32_t (*ArcFindFirstProc)(HARC arc, const char *wildName, ArcIndividualInfo *info);
typedef int32_t (*ArcFindNextProc)(HARC arc, ArcIndividualInfo *info);

#ifdef __cplusplus
}
static_assert(offsetof(ArcIndividualInfo, szFileName) == 26, "the name sits at offset 26");
#endif

#endif
