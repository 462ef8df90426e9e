// The packer's standard error as a terminal: whether it is one, and how
// many columns a line may fill there before it wraps.
#pragma once

bool stderr_is_terminal();

// The terminal's width in columns; 80 when it cannot be told.
int stderr_terminal_width();
