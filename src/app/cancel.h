#pragma once

// Set to 1 when the user confirms a cancel (or declines the license); never
// reset. Long loops stop at their next test of it.
extern unsigned char g_bCancel;
