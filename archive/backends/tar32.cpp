#include "Families.h"

static HARC openTar(const char *name) { return arcbackend::openArchive(arcbackend::TarFamily, name); }

ARC_COMMAND_EXPORT(Tar, arcbackend::runTar)
ARC_LISTING_EXPORTS(Tar, openTar)
