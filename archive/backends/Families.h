#pragma once
// The command functions and listings of each archive family, shared by the modules that export
// them under the family's names.

#include "ArcBackend.h"

namespace arcbackend {

extern const Family LhaFamily, ZipFamily, CabFamily, TarFamily, RarFamily;

int32_t runLha(const char *line, char *output, uint32_t size);
int32_t runUnzip(const char *line, char *output, uint32_t size);
int32_t runZip(const char *line, char *output, uint32_t size);
int32_t runCab(const char *line, char *output, uint32_t size);
int32_t runTar(const char *line, char *output, uint32_t size);
int32_t runRar(const char *line, char *output, uint32_t size);

// ARJ through the 7-Zip program (libarchive reads no ARJ).
int32_t runArj(const char *line, char *output, uint32_t size);
HARC openArj(const char *path);
// The entries of a 7-Zip technical listing ("7zz l -slt"); false when it has none.
bool parse7zListing(const std::string &text, Listing &listing);

// Runs body and turns any C++ exception into a result, since none may cross the C boundary.
int32_t guarded(const std::function<int32_t()> &body);
HARC guardedOpen(const std::function<HARC()> &body);

} // namespace arcbackend

#define ARC_LISTING_EXPORTS(prefix, opener)                                                          \
    ARC_EXPORT HARC prefix##OpenArchive(uintptr_t, const char *name, uint32_t)                       \
    {                                                                                                \
        return arcbackend::guardedOpen([&] { return opener(name); });                                \
    }                                                                                                \
    ARC_EXPORT int32_t prefix##CloseArchive(HARC arc) { return arcbackend::closeHandle(arc); }       \
    ARC_EXPORT int32_t prefix##FindFirst(HARC arc, const char *wild, ArcIndividualInfo *info)        \
    {                                                                                                \
        return arcbackend::findFirst(arc, wild, info);                                               \
    }                                                                                                \
    ARC_EXPORT int32_t prefix##FindNext(HARC arc, ArcIndividualInfo *info) { return arcbackend::findNext(arc, info); }

#define ARC_COMMAND_EXPORT(name, runner)                                                             \
    ARC_EXPORT int32_t name(uintptr_t, const char *line, char *output, uint32_t size)                \
    {                                                                                                \
        return arcbackend::guarded([&] { return runner(line, output, size); });                      \
    }
