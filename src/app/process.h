#pragma once

// Starts a command line as it is (nothing is quoted here). Without noWait it
// waits for the process to end, then a further second. True when the process
// was started and, when waiting, its exit code could be read.
bool RunProcess(const char* commandLine, bool noWait);

// Opens directory + fileName with the program registered for the name's
// extension, which runs from the first "." of the name ("readme.old.txt" is
// looked up as ".old.txt"). Does not wait. False when the name has no
// extension, the type or its open command is not registered, or the program
// does not start.
bool OpenWithRegisteredProgram(const char* directory, const char* fileName);
