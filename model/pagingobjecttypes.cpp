#include "model/pagingobjecttypes.h"

#include "model/pagingtables.h"
#include "model/tvgroupmember.h"
#include "model/tvmonequip.h"
#include "model/tvpagedev.h"
#include "model/tvpagemsg.h"
#include "model/tvpagenet.h"
#include "objects/cvobjecttype.h"

namespace {

template <typename T>
cvObjectType::Factory FactoryOf() {
    return
        [](cvBob* parent, const cvRec& record) -> cvBobRef<> { return NewBob<T>(parent, record); };
}

cvObjectType Entry(int32_t type, const char* caption, std::string_view table,
                   std::array<std::string, 3> id_fields, cvObjectType::Factory factory) {
    cvObjectType entry;
    entry.type = type;
    entry.name = caption;
    entry.table = std::string(table);
    entry.id_fields = std::move(id_fields);
    entry.key = 0;
    entry.factory = std::move(factory);
    return entry;
}

}  // namespace

bool RegisterPagingObjectTypes() {
    const cvObjectType entries[] = {
        Entry(kMonEquipType, "Monitored Equipment", kMonEquipTable, {"EQUIPNBR", "", ""},
              FactoryOf<tvMonEquip>()),
        Entry(kPageDevType, "Paging Device", kPageDevTable, {"PAGEDEVNBR", "", ""},
              FactoryOf<tvPageDev>()),
        Entry(kGroupMemberType, "Paging Group Member", kPageGrpTable,
              {"PAGEGRPNBR", "PAGEDEVNBR", ""}, FactoryOf<tvGroupMember>()),
        Entry(kPageMsgType, "Message", kPageMsgTable, {"PAGEMSGNBR", "", ""},
              FactoryOf<tvPageMsg>()),
        Entry(kPageNetType, "Paging Network", kPageNetTable, {"PAGENETNBR", "", ""},
              FactoryOf<tvPageNet>()),
    };
    bool all = true;
    for (const cvObjectType& entry : entries) {
        all = RegisterObjectType(entry) && all;
    }
    return all;
}
