#include "Families.h"

static HARC openZip(const char *name) { return arcbackend::openArchive(arcbackend::ZipFamily, name); }

ARC_COMMAND_EXPORT(UnZip, arcbackend::runUnzip)
ARC_LISTING_EXPORTS(UnZip, openZip)
