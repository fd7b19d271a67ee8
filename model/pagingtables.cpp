#include "model/pagingtables.h"

std::vector<std::string_view> RequiredTables(bool alarm_watch) {
    std::vector<std::string_view> tables = {kPageDevTable, kPageMsgTable, kPageNetTable};
    if (alarm_watch) {
        // Groups and monitored equipment exist only for Alarm Watch.
        tables.push_back(kPageGrpTable);
        tables.push_back(kMonEquipTable);
    }
    tables.push_back(kTolvaneTable);
    return tables;
}
