#pragma once
// What the storage layer asks of the application object: the number of the user who
// is logged in (stamped into new and saved rows), the text hook applied to raw
// string texts, and the report engine that records hand themselves to.
//
// All of them are process-wide and may be read from any thread; the application sets
// them on the user-interface thread. Until it does, the user number is 0, the text
// hook returns its text unchanged and no report engine is attached.

#include <functional>
#include <string>

class cvRec;

int CurrentUserNumber();
void SetCurrentUserNumber(int user);

// Applied by GetText to a String field asked for with a special format code.
using TextHook = std::function<std::string(const std::string& text, int format)>;
void SetTextHook(TextHook hook);  // an empty hook restores the identity
std::string ApplyTextHook(const std::string& text, int format);

// The report engine's entry points for one record: print the record with a report,
// and print a list of the record's table linked to it by a table and field.
struct ReportHooks {
    std::function<int(cvRec& record, const std::string& report)> print_record;
    std::function<int(cvRec& record, const std::string& report, const std::string& link_table,
                      const std::string& link_field)>
        print_list;
};
void SetReportHooks(ReportHooks hooks);
ReportHooks CurrentReportHooks();
