// The saved copies of every backup set, checked at each start of the tool.
#pragma once

#include "platform.h"

namespace yrn {

// Gives each catalogued saved copy that still shares its bytes with another
// name (a run cut between saving a file and replacing it) bytes of its own.
// Silent: a copy that cannot be unshared now is tried again next time.
void UnshareSavedCopies(Platform& platform);

}  // namespace yrn
