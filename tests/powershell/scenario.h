#pragma once
// The scenario language of the stand-in's -File form: a script file that
// says, one command per line, what the installer script does on the pipe and
// on disk. README.md in this folder describes the commands.

#include <string>

namespace zelkora::standin {

struct ScenarioRun {
    std::wstring script_path;    // full path of the scenario file
    std::wstring pipe_name;      // from -ProgressPipe; empty when not given
    std::wstring arguments;      // the command line after the program, to start a child with
    std::string options;         // the PowerShell options as read, for the "options" record
    int continue_after_line = 0; // in a child: the line of the "child" command to go on after
};

// Runs the scenario and returns the process exit code.
int run_scenario(const ScenarioRun& run);

}  // namespace zelkora::standin
