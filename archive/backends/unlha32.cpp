#include "Families.h"

static HARC openLha(const char *name) { return arcbackend::openArchive(arcbackend::LhaFamily, name); }

ARC_COMMAND_EXPORT(Unlha, arcbackend::runLha)
ARC_LISTING_EXPORTS(Unlha, openLha)
