// The subcommands of the kiv program; each returns the process exit code.
#pragma once

namespace kiv {

int RunDescribe(int argc, char** argv);
int RunDecode(int argc, char** argv);
int RunServe(int argc, char** argv);
int RunReplay(int argc, char** argv);

}  // namespace kiv
