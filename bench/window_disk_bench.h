// The window against the disk, cases of window-bench: the longest stall of the window while
// the user selects a large folder or one on a mount that never answers, with the status-bar
// information on; and a first run into a new folder against the batch command.
#pragma once

#include <string>

// select: a folder of 200,000 files (longest stall at most 100 ms) and a folder on a mount that
// never answers (a FUSE connection nobody serves; needs the right to mount; at most 250 ms).
bool SelectCases(const std::string& parent);

// first-run: 200,000 lines run by a window in a process of its own, its first run, into a new
// folder, against the batch command into another; taking turns, the best of repeat rounds;
// at most 1.5 times the batch command.
bool FirstRunCase(const std::string& parent, int repeat);
// The window's side of first-run, as the child process runs it.
int FirstRunChild(int argc, char** argv);
inline constexpr const char* kFirstRunChild = "--first-run-child";
