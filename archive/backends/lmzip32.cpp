// The second ZIP library: extraction and creation in one, its names with a lower-case "z".
#include "Families.h"

static HARC openZip(const char *name) { return arcbackend::openArchive(arcbackend::ZipFamily, name); }

ARC_COMMAND_EXPORT(Unzip, arcbackend::runUnzip)
ARC_COMMAND_EXPORT(zip, arcbackend::runZip)
ARC_LISTING_EXPORTS(Unzip, openZip)
