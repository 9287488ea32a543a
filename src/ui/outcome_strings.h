// The texts of the outcome messages: which string of the program's string
// table reports a run, in the user's language, and its line in the log.
#pragma once

#include <windows.h>

#include "engine/site/machine.h"
#include "engine/site/outcome.h"

// The string id of message: the English one for QMX_LANG_ENGLISH, the
// Japanese one for anything else.
UINT OutcomeStringId(OutcomeMessage message, int language);

// The string id that reports result, logged as the line "EngingMessage[0x%x]
// - %s" with the outcome bits and the message's text from resources' string
// table.
UINT ChooseAndLogMessage(const RunResult& result, int language, HINSTANCE resources);
