#pragma once

namespace vardelo {

// `vardelo --probe URL [--wait]`: walks one link through its host profile
// (or the built-in steps) without the window, the queue, the log, the
// settings or the single-instance lock, and tells each step in English on
// standard output. Nothing is downloaded: the file's address gets a HEAD.
// The arguments are those after the program's name.
bool isProbe(int argc, char** argv);
int runProbe(int argc, char** argv);

} // namespace vardelo
