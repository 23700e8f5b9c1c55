#pragma once

// Dispatches the waiting window messages when the last dispatch is at least
// a few milliseconds ago, so that long loops keep the window alive without
// spending their time on it (a visible progress bar repaints on every
// dispatch). True when the user has cancelled: the caller must stop.
bool PumpWhenDue();
