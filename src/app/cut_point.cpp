#include "app/cut_point.h"

void CutPoint(const char*, unsigned) {}
