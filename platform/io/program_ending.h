// The program has been asked to end (SIGTERM at logout, SIGINT, SIGHUP) once this descriptor is
// readable. A wait on the dialog's thread for another program's answer watches it as well and
// gives up at once, instead of holding that end up until the other program's time runs out.
// -1 while nothing turns those signals into an end.
#pragma once

void SetProgramEndingFd(int fd);
int ProgramEndingFd();
