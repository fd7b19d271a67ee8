#pragma once
// Small helpers the paging objects share: flags, record numbers, the file manager of
// a record, rows by number and by description, and text field widths.

#include <cstdint>
#include <optional>
#include <string_view>

#include "objects/cvbob.h"
#include "objects/cvbobref.h"
#include "storage/cvrec.h"

class cvDDFile;
class cvFileMgr;

// A flag field holds "Y" for yes; any other value is no.
bool IsYes(std::string_view flag);

// The manager of the record's file, else the application's; null when neither exists.
cvFileMgr* ManagerOf(const cvRec& record);

// Puts 0 into a number field that holds a provisional (negative) number, so that the
// insert assigns the next number. Nonzero on success, also when nothing was to do.
[[nodiscard]] int ClearProvisionalNumber(cvRec& record, std::string_view field);

// The stored row of `table` whose `number_field` (key 0) is `number`; nullopt when the
// table cannot be opened or holds no such row.
std::optional<cvRec> ReadRowByNumber(cvFileMgr& manager, std::string_view table,
                                     std::string_view number_field, int32_t number);
// The stored row of `table` whose DESCRIPTION (key 1) is `description`; nullopt for an
// empty description, a table that cannot be opened or no such row.
std::optional<cvRec> ReadRowByDescription(cvFileMgr& manager, std::string_view table,
                                          std::string_view description);
// The `number_field` of the row of `table` whose DESCRIPTION (key 1) is `description`,
// or 0 when there is none.
int32_t FindNumberByDescription(cvFileMgr& manager, std::string_view table,
                                std::string_view number_field, std::string_view description);

// The characters a text field holds (one less than its size for the zero-terminated and
// length-prefixed kinds); 0 for a field the table lacks.
int TextFieldWidth(const cvDDFile& table, std::string_view field);

// A reference typed as a kind of object, or empty when the object is of another kind.
template <typename T>
cvBobRef<T> AsKind(cvBobRef<>&& object, std::string_view class_name) {
    if (!object || !object->IsKindOf(class_name)) {
        return {};
    }
    return std::move(object).template As<T>();
}
