// The whole framework: application object, windows, dialogs and controls on
// top of afx.h.
#pragma once

#include "framework/afx.h"
#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/wnd.h"
