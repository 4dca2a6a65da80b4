#pragma once
// What the command-line tools need from the console: whether a stream is a
// terminal, and Ctrl+C as a request to stop rather than a kill.
namespace tools {

bool StdoutIsTerminal();
bool StdinIsTerminal();

// The width of the terminal on standard output; 80 when it cannot be told.
int TerminalColumns();
// Moves the terminal's cursor up that many lines, to the start of the line.
void CursorUp(int lines);

// From now on Ctrl+C (and a polite termination request) only sets a flag
// that Interrupted() reports.
void CatchInterrupt();
bool Interrupted();

}  // namespace tools
