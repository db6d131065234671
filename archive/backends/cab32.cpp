#include "Families.h"

static HARC openCab(const char *name) { return arcbackend::openArchive(arcbackend::CabFamily, name); }

ARC_COMMAND_EXPORT(Cab, arcbackend::runCab)
ARC_LISTING_EXPORTS(Cab, openCab)
