#include "model/pagingrows.h"

#include <string>

#include "storage/cvddfile.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvstorageapp.h"
#include "storage/datatype.h"

bool IsYes(std::string_view flag) {
    return flag == "Y";
}

cvFileMgr* ManagerOf(const cvRec& record) {
    return record.File() ? &record.File()->Manager() : StorageApp().FileManager();
}

int ClearProvisionalNumber(cvRec& record, std::string_view field) {
    if (record.GetInt(field) >= 0) {
        return 1;
    }
    return record.PutInt(field, 0);
}

std::optional<cvRec> ReadRowByNumber(cvFileMgr& manager, std::string_view table,
                                     std::string_view number_field, int32_t number) {
    cvFile* file = manager.OpenTable(table);
    if (!file) {
        return std::nullopt;
    }
    file->ClearKey(0);
    if (!file->PutInt(number_field, number) || file->GetEqual(0) != 0) {
        return std::nullopt;
    }
    return cvRec(*file, cvRec::kFromFile);
}

std::optional<cvRec> ReadRowByDescription(cvFileMgr& manager, std::string_view table,
                                          std::string_view description) {
    cvFile* file = manager.OpenTable(table);
    if (!file || description.empty()) {
        return std::nullopt;
    }
    file->ClearKey(1);
    if (!file->PutString("DESCRIPTION", description) || file->GetEqual(1) != 0) {
        return std::nullopt;
    }
    return cvRec(*file, cvRec::kFromFile);
}

int32_t FindNumberByDescription(cvFileMgr& manager, std::string_view table,
                                std::string_view number_field, std::string_view description) {
    const std::optional<cvRec> row = ReadRowByDescription(manager, table, description);
    return row ? row->GetInt(number_field) : 0;
}

int TextFieldWidth(const cvDDFile& table, std::string_view field) {
    const cvDDField* definition = table.FindField(field, false);
    if (!definition) {
        return 0;
    }
    const int size = definition->Size();
    const uint8_t type = definition->DataType();
    if ((type == kTypeZString || type == kTypeLString) && size > 0) {
        return size - 1;
    }
    return size;
}
