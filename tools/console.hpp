#pragma once
// What the command-line tools need from the console: whether a stream is a
// terminal, and Ctrl+C as a request to stop rather than a kill.
namespace tools {

bool StdoutIsTerminal();
bool StdinIsTerminal();

// The width and height of the terminal on standard output; 80 by 24 when
// they cannot be told.
int TerminalColumns();
int TerminalRows();
// Moves the terminal's cursor up that many lines, to the start of the line.
void CursorUp(int lines);

// From now on Ctrl+C, a polite termination request and the loss of the
// terminal (a closed window, a dropped session) only set a flag that
// Interrupted() reports, so every run can stop and be recorded. Where the
// system ends the process once it has been told (a console window closed on
// Windows), the telling waits until the program has come to its end.
void CatchInterrupt();
bool Interrupted();

}  // namespace tools
