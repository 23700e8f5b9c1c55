#pragma once

#include <string>

class CProgressCtrl;

// Expands the HUF stream in the file at path and puts the decoded data under
// the same path. The output is written to a temporary file with the prefix
// "HUF" beside path and renamed over it at the end. Drives progress (may be
// null) over 0..10000 and dispatches waiting window messages as it goes.
//
// A cancel (g_bCancel set while messages are dispatched) stops the decoding;
// the partial output then stands under path and the result is true. False
// when a file cannot be opened or created, the output cannot be written or
// put in place, or
// the stream is damaged (its decoded length differs from its counts); path
// then keeps the stream and the temporary file is removed.
bool HufDecodeFile(const std::string& path, CProgressCtrl* progress);
