#pragma once

#include <string>

// Runs the program: the application object, the window, the message loop. Returns the
// exit code of an orderly end; a start-up that fails says why on stderr and returns 1.
int RunDralvekOstrune(int argc, char** argv);

// What the command line asks for: an optional data folder, or a usage error.
struct CommandLine {
    std::string dataFolder;
    std::string error;
};
CommandLine ParseCommandLine(int argc, char** argv);
