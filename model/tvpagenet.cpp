#include "model/tvpagenet.h"

#include <algorithm>

#include "model/messagecommands.h"
#include "model/messagelists.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvpagemsg.h"
#include "objects/cvobjecttype.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/packeddatetime.h"

tvPageNet::tvPageNet(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
    LogNew();
}

tvPageNet::~tvPageNet() = default;

cvBobRoot<tvPageNet> tvPageNet::Create(cvFileMgr& manager) {
    cvFile* file = manager.OpenTable(kPageNetTable);
    if (!file) {
        return {};
    }
    return NewBobRoot<tvPageNet>(nullptr, cvRec(*file));
}

cvBobRoot<tvPageNet> tvPageNet::Load(cvFileMgr& manager, int32_t number) {
    std::optional<cvRec> row = ReadRowByNumber(manager, kPageNetTable, "PAGENETNBR", number);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvPageNet>(nullptr, *row);
}

cvBobRoot<tvPageNet> tvPageNet::FindByDescription(cvFileMgr& manager, std::string_view text) {
    std::optional<cvRec> row = ReadRowByDescription(manager, kPageNetTable, text);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvPageNet>(nullptr, *row);
}

bool tvPageNet::IsKindOf(std::string_view class_name) const {
    return class_name == "tvPageNet" || cvBob::IsKindOf(class_name);
}

void tvPageNet::GetChildSets(std::vector<cvBobSetSlot*>& sets) {
    cvBob::GetChildSets(sets);
    sets.push_back(&queued_);
    sets.push_back(&sent_);
}

int tvPageNet::PreSave() {
    return ClearProvisionalNumber(*this, "PAGENETNBR") ? 0 : -1;
}

cvBobSet& tvPageNet::QueuedMessages() {
    if (!queued_) {
        queued_ = std::make_unique<cvBobSet>(this);
        LoadQueuedMessages(*this, *queued_, TodayDate());
    }
    return *queued_;
}

cvBobSet& tvPageNet::SentMessages() {
    if (!sent_) {
        sent_ = std::make_unique<cvBobSet>(this);
        LoadSentMessages(*this, *sent_, TodayDate());
    }
    return *sent_;
}

void tvPageNet::DropMessageLists() {
    for (cvBobSetSlot* slot : {&queued_, &sent_}) {
        if (*slot) {
            static_cast<void>((*slot)->DropAll());
            slot->reset();
        }
    }
}

namespace {

// Where a queued message goes in a list kept in due order.
int DueOrderIndex(const cvBobSet& list, const cvRec& message) {
    const uint32_t date = message.GetDate("SCHEDDATE");
    const uint32_t time = message.GetTime("SCHEDTIME");
    for (int i = 0; i < list.GetCount(); ++i) {
        const cvRec& other = *list.GetAt(i);
        const int by_date = CompareDates(other.GetDate("SCHEDDATE"), date);
        if (by_date > 0 || (by_date == 0 && CompareTimes(other.GetTime("SCHEDTIME"), time) > 0)) {
            return i;
        }
    }
    return -1;
}

}  // namespace

void tvPageNet::MessageChanged(const cvRec& message) {
    const cvObjectId id = ObjectIdOf(message);
    if (id.type == 0) {
        return;
    }
    if (cvBob* own = FindObject(id); own && own != &message && !own->IsModified()) {
        static_cast<void>(own->AssignRecord(message));
    }
    const uint32_t today = TodayDate();
    const struct {
        cvBobSetSlot* list;
        bool belongs;
    } lists[] = {{&queued_, BelongsInQueuedList(message, today)},
                 {&sent_, BelongsInSentList(message, today)}};
    for (const auto& entry : lists) {
        cvBobSet* list = entry.list->get();
        if (!list) {
            continue;  // not loaded: it is read whole when first used
        }
        const int index = list->FindById(id.type, id.id1, id.id2, id.id3);
        if (index >= 0 && !entry.belongs) {
            static_cast<void>(list->RemoveAt(index));
        } else if (index < 0 && entry.belongs) {
            const cvBobRef<> object = GetObject(id);
            if (object) {
                static_cast<void>(list->Add(
                    object.get(), list == queued_.get() ? DueOrderIndex(*list, *object) : 0));
            }
        }
    }
}

int tvPageNet::CancelAll() {
    cvBobSet& queued = QueuedMessages();
    for (int i = queued.GetCount() - 1; i >= 0; i = std::min(i, queued.GetCount()) - 1) {
        const cvBobRef<tvPageMsg> message =
            AsKind<tvPageMsg>(cvBobRef<>::Shared(queued.GetAt(i)), "tvPageMsg");
        if (!message) {
            continue;
        }
        const int status = CancelMessage(*message);
        if (status != 0) {
            return status;
        }
        MessageChanged(*message);
    }
    return 0;
}
