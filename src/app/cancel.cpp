#include "app/cancel.h"

unsigned char g_bCancel = 0;
