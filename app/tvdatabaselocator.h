#pragma once
// Where the database directory comes from when start-up asks the operator for it: the
// user interface's "Select Tolvane database" dialog, or a script in tests.

#include <optional>
#include <string>

class tvDatabaseLocator {
  public:
    virtual ~tvDatabaseLocator() = default;
    // Asks for the database directory, offering `current`. The entry as typed, or
    // nothing when the operator cancels.
    virtual std::optional<std::string> AskDirectory(const std::string& current) = 0;
};
