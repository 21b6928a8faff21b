#pragma once
// One line on stderr, stamped with the time of day and the program's name.
void TunnelLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
