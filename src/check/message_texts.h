// The installer's outcome messages, in UTF-8, for the package check to print
// on a machine without the installer's resources. A Windows test holds them
// to the string table.
#pragma once

#include "engine/site/outcome.h"

// The text of message in language (QMX_LANG_ENGLISH, else Japanese).
const char* MessageText(OutcomeMessage message, int language);
