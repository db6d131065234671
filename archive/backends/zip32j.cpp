// The ZIP creation library.
#include "Families.h"

ARC_COMMAND_EXPORT(Zip, arcbackend::runZip)
