#include "Families.h"

ARC_COMMAND_EXPORT(Unarj, arcbackend::runArj)
ARC_LISTING_EXPORTS(Unarj, arcbackend::openArj)
