#include "Families.h"

static HARC openRar(const char *name) { return arcbackend::openArchive(arcbackend::RarFamily, name); }

ARC_COMMAND_EXPORT(Unrar, arcbackend::runRar)
ARC_LISTING_EXPORTS(Unrar, openRar)
