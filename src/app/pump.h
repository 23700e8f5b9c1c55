#pragma once

// Dispatches the window messages that are waiting, so that the window stays
// alive during long loops. True when the user has cancelled (g_bCancel is
// set): the caller must stop.
bool PumpPendingMessages();
