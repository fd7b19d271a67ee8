#pragma once
// The application's handle on the report engine. Reports are not part of the program
// yet: this handle opens without doing anything and prints nothing, so that start-up
// and shutdown already run the report engine's steps in their places. The report
// facility will replace the body of Open and Close and attach itself to the records.

#include <string>

class cvReportEngine {
  public:
    cvReportEngine() = default;
    ~cvReportEngine();
    cvReportEngine(const cvReportEngine&) = delete;
    cvReportEngine& operator=(const cvReportEngine&) = delete;

    // Opens the engine over the reports directory. Returns 0, or a nonzero code with a
    // text for "Unable to open report engine: %s" in `error`.
    [[nodiscard]] int Open(const std::string& reports_directory, std::string* error);
    // Releases the engine; nothing when it is not open.
    void Close();
    bool IsOpen() const { return open_; }
    const std::string& ReportsDirectory() const { return reports_directory_; }

  private:
    bool open_ = false;
    std::string reports_directory_;
};
