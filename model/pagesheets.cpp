#include "model/pagesheets.h"

#include "model/pagingtables.h"
#include "model/tvpagedev.h"
#include "objects/cvbob.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"

namespace {

constexpr int kDescriptionKey = 1;

}  // namespace

std::string SheetCaption(cvBob& object) {
    if (object.Position() != 0) {
        return object.GetText("DESCRIPTION", 1);
    }
    if (object.IsKindOf("tvPageNet")) {
        return "New Paging Network";
    }
    if (object.IsKindOf("tvPageDev")) {
        return static_cast<tvPageDev&>(object).IsGroup() ? "New Paging Group" : "New Paging Device";
    }
    if (object.IsKindOf("tvMonEquip")) {
        return "New Monitored Equipment";
    }
    return {};
}

std::vector<std::string_view> SheetPages(cvBob& object, bool alarm_watch) {
    if (object.IsKindOf("tvPageNet")) {
        return {"General", "Comm Port", "Access Codes"};
    }
    if (object.IsKindOf("tvPageDev")) {
        if (static_cast<tvPageDev&>(object).IsGroup()) {
            return {"Group", "Members"};
        }
        if (alarm_watch) {
            return {"General", "Groups"};
        }
        return {"General"};
    }
    if (object.IsKindOf("tvMonEquip")) {
        return {"General"};
    }
    return {};
}

bool InactiveCheckBoxEnabled(const cvRec& record) {
    return record.Position() != 0;
}

std::vector<tvNetworkChoice> ActiveNetworkChoices(cvFileMgr& manager) {
    std::vector<tvNetworkChoice> choices;
    cvFile* file = manager.OpenTable(kPageNetTable);
    if (!file) {
        return choices;
    }
    for (int status = file->GetFirst(kDescriptionKey); status == 0; status = file->GetNext()) {
        if (file->IsActive()) {
            choices.push_back({file->GetText("DESCRIPTION", 1), file->GetInt("PAGENETNBR")});
        }
    }
    return choices;
}
