#pragma once
// Names for record-manager operations and statuses, as the program shows them.

#include <string>

// "<text> [<status>]" from the status table, or "Unknown Btrieve Error: <status>".
std::string StatusText(int status);
// The operation's name ("Get Equal", "Begin Concurrent Transaction" for 1019), or
// "Unknown Btrieve Operation: <operation>".
std::string OperationName(int operation);
// Number of statuses with a text of their own (for tests of the table).
int StatusTextCount();
