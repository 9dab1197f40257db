#pragma once

// What a check's exit code says, for scripts.
enum ExitCode : int {
    kExitPass = 0,
    kExitFail = 1,         // the mount or the line failed the test
    kExitCannotStart = 2,  // a usage error, or the port could not be opened
    kExitInterrupted = 3,
};
