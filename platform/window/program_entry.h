// The program's entry point, called by the start-up code once the application object exists.
// Its result is the process's exit code.
#pragma once

int WinMain();
