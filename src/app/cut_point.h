// Places in a run where the tests end the process as a power loss or Task
// Manager would, to check that the next start recovers. In the program this
// does nothing (cut_point.cpp); the tests' build of the stub links a version
// of its own that ends the process at the point its environment names.
#pragma once

// name, or name:n for the n-th time through a place that repeats.
void CutPoint(const char* name, unsigned n = 0);
