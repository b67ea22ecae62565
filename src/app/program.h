#pragma once

// The whole program behind main(): the command line first, then either an export without
// any display (no widgets are made) or the windows.
//   yarukin [--data-dir DIR]                                   the windows
//   yarukin [--data-dir DIR] --export-csv FILE|- [--item NAME] the histories as CSV
//   yarukin --help | --version
int runProgram(int argc, char* argv[]);
