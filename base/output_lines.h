// Standard output through a stream that remembers the last character written, so that the
// process can end with its last line terminated whichever message or answer printed it.
#pragma once

// Replaces stdout by the remembering stream (the program does this first thing; tests and library
// callers keep their own stdout). Ends the run out of memory when the stream cannot be made.
void remember_output_lines();

// Flushes standard output and, when it is the remembering stream and its last line is open,
// ends that line.
void end_open_line();
