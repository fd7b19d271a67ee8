#include "platform/recman/openfile.h"

#include <algorithm>
#include <cstring>

#include "platform/recman/client.h"
#include "platform/recman/keycodec.h"
#include "platform/recman/recman.h"

namespace recman {
namespace {

constexpr uint32_t kFullPercent = 10000;

uint32_t Read32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

void Write32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

Seek SeekFor(uint16_t operation) {
    switch (operation) {
        case RECMAN_GET_EQUAL:
            return Seek::kEqual;
        case RECMAN_GET_GREATER:
            return Seek::kGreater;
        case RECMAN_GET_GREATER_OR_EQUAL:
            return Seek::kGreaterOrEqual;
        case RECMAN_GET_LESS:
            return Seek::kLess;
        case RECMAN_GET_LESS_OR_EQUAL:
            return Seek::kLessOrEqual;
        case RECMAN_GET_FIRST:
            return Seek::kFirst;
        default:
            return Seek::kLast;
    }
}

}  // namespace

OpenFile::OpenFile(Client& client, Store* store, std::unique_ptr<OpenLock> lock, bool read_only)
    : client_(client), store_(store), lock_(std::move(lock)), read_only_(read_only) {}

const FileSpec& OpenFile::spec() const {
    return store_->file->spec();
}

bool OpenFile::ValidKey(int key) const {
    return key >= 0 && static_cast<size_t>(key) < spec().keys.size();
}

int OpenFile::CheckKeyBuffer(const Call& call, int key) const {
    return call.KeyCapacity() < spec().keys[static_cast<size_t>(key)].value_length
               ? RECMAN_KEY_BUFFER_TOO_SHORT
               : RECMAN_OK;
}

int OpenFile::Execute(Call& call) {
    switch (call.operation) {
        case RECMAN_GET_EQUAL:
        case RECMAN_GET_GREATER:
        case RECMAN_GET_GREATER_OR_EQUAL:
        case RECMAN_GET_LESS:
        case RECMAN_GET_LESS_OR_EQUAL:
        case RECMAN_GET_FIRST:
        case RECMAN_GET_LAST:
            return GetByKey(call);
        case RECMAN_GET_NEXT:
        case RECMAN_GET_PREVIOUS:
            return GetNextOrPrevious(call);
        case RECMAN_GET_DIRECT:
            return GetDirect(call);
        case RECMAN_GET_POSITION:
            return GetPosition(call);
        case RECMAN_GET_BY_PERCENTAGE:
            return GetByPercentage(call);
        case RECMAN_FIND_PERCENTAGE:
            return FindPercentage(call);
        case RECMAN_INSERT:
            return Insert(call);
        case RECMAN_UPDATE:
            return Update(call);
        case RECMAN_DELETE:
            return Delete(call);
        case RECMAN_STAT:
            return Stat(call);
        default:
            return RECMAN_INVALID_OPERATION;
    }
}

// Hands out a found record: the record into the data buffer (22 when it does not fit:
// as much as fits is there), the positioning onto it.
static int Deliver(Call& call, const FileSpec& spec, const RecordTarget& target) {
    *call.data_length = static_cast<uint32_t>(target.copied);
    return target.copied < spec.record_length ? RECMAN_DATA_BUFFER_TOO_SHORT : RECMAN_OK;
}

int OpenFile::GetByKey(Call& call) {
    const int key = call.key_number;
    if (!ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    int status = CheckKeyBuffer(call, key);
    if (status != RECMAN_OK) {
        return status;
    }
    const Seek seek = SeekFor(call.operation);
    if (seek != Seek::kFirst && seek != Seek::kLast) {
        EncodeKeyValue(spec().keys[static_cast<size_t>(key)], call.key, &value_);
    }
    status = client_.BeginRead(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    RecordTarget target{call.data, call.DataCapacity(), 0, call.key};
    Found found;
    status = store_->file->Find(seek, key, &value_, 0, &target, &found);
    if (status == RECMAN_END_OF_FILE && seek == Seek::kEqual) {
        return RECMAN_KEY_NOT_FOUND;
    }
    if (status != RECMAN_OK) {
        return status;
    }
    positioning_.key = key;
    positioning_.place = Positioning::Place::kOn;
    positioning_.on_record = true;
    positioning_.value = std::move(found.place.encoded);
    positioning_.sequence = found.place.sequence;
    positioning_.record = found.position;
    RememberStored(found.position, call.data, target.copied);
    return Deliver(call, spec(), target);
}

int OpenFile::GetNextOrPrevious(Call& call) {
    const int key = call.key_number;
    const bool next = call.operation == RECMAN_GET_NEXT;
    if (!ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    if (positioning_.key < 0 || positioning_.place == Positioning::Place::kNone) {
        return RECMAN_INVALID_POSITIONING;
    }
    if (key != positioning_.key) {
        return RECMAN_DIFFERENT_KEY_NUMBER;
    }
    int status = CheckKeyBuffer(call, key);
    if (status != RECMAN_OK) {
        return status;
    }
    status = client_.BeginRead(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    RecordTarget target{call.data, call.DataCapacity(), 0, call.key};
    Found found;
    switch (positioning_.place) {
        case Positioning::Place::kBeforeFirst:
            status = next ? store_->file->Find(Seek::kFirst, key, nullptr, 0, &target, &found)
                          : RECMAN_END_OF_FILE;
            break;
        case Positioning::Place::kAfterLast:
            status = next ? RECMAN_END_OF_FILE
                          : store_->file->Find(Seek::kLast, key, nullptr, 0, &target, &found);
            break;
        default:
            status = StepFromPlace(next, key, &target, &found);
            break;
    }
    if (status == RECMAN_END_OF_FILE) {
        // Off the end: the opposite call comes back to the last (first) record.
        positioning_.place =
            next ? Positioning::Place::kAfterLast : Positioning::Place::kBeforeFirst;
        return status;
    }
    if (status != RECMAN_OK) {
        return status;
    }
    positioning_.place = Positioning::Place::kOn;
    positioning_.on_record = true;
    positioning_.value = std::move(found.place.encoded);
    positioning_.sequence = found.place.sequence;
    positioning_.record = found.position;
    RememberStored(found.position, call.data, target.copied);
    return Deliver(call, spec(), target);
}

int OpenFile::StepFromPlace(bool next, int key, RecordTarget* target, Found* found) {
    constexpr int kFirstRun = 8;
    constexpr size_t kLongestRun = 64;
    const Seek seek = next ? Seek::kNext : Seek::kPrevious;
    ReadAhead& ahead = read_ahead_;
    // The rows still follow the positioning when it stands on the last one handed out.
    const bool same_direction = ahead.key == key && ahead.forward == next;
    const bool continues =
        same_direction && ahead.next > 0 && ahead.next <= ahead.rows.size() &&
        positioning_.sequence == ahead.rows[ahead.next - 1].found.place.sequence &&
        positioning_.value == ahead.rows[ahead.next - 1].found.place.encoded;
    // A scan goes on while it steps the same way (its first step read no rows ahead).
    if (!continues && !(same_direction && ahead.steps == 1)) {
        ahead = ReadAhead{};
        ahead.key = key;
        ahead.forward = next;
    }
    ++ahead.steps;
    uint32_t counter = 0;
    // A single step, or one inside a transaction (whose own changes the counter does not
    // show): one seek.
    if (ahead.steps < 2 || client_.in_transaction() ||
        store_->file->ChangeCounter(&counter) != RECMAN_OK) {
        ahead.rows.clear();
        ahead.next = 0;
        return store_->file->Find(seek, key, &positioning_.value, positioning_.sequence, target,
                                  found);
    }
    if (!continues || ahead.next >= ahead.rows.size() || counter != ahead.change_counter) {
        const size_t limit =
            std::min(kLongestRun, static_cast<size_t>(kFirstRun) << std::min(ahead.fills, 3));
        ++ahead.fills;
        ahead.next = 0;
        const int status = store_->file->FindRun(seek, key, positioning_.value,
                                                 positioning_.sequence, limit, &ahead.rows);
        ahead.change_counter = counter;
        if (status != RECMAN_OK) {
            ahead.rows.clear();
            return status;
        }
        if (ahead.rows.empty()) {
            return RECMAN_END_OF_FILE;
        }
    }
    const FoundRecord& row = ahead.rows[ahead.next++];
    *found = row.found;
    target->copied = std::min(row.data.size(), target->capacity);
    if (target->buffer != nullptr && target->copied > 0) {
        std::memcpy(target->buffer, row.data.data(), target->copied);
    }
    if (target->key_value != nullptr) {
        ExtractKeyValue(spec().keys[static_cast<size_t>(key)], row.data.data(), target->key_value);
    }
    return RECMAN_OK;
}

void OpenFile::RememberStored(int64_t record, const uint8_t* data, size_t length) {
    stored_.valid = client_.in_transaction() && store_->touched && length == spec().record_length;
    if (!stored_.valid) {
        return;
    }
    stored_.lock_epoch = client_.lock_epoch();
    stored_.writes = store_->file->writes();
    stored_.record = record;
    stored_.data.assign(data, data + length);
}

const uint8_t* OpenFile::StoredCurrentRecord() const {
    const bool current = stored_.valid && client_.in_transaction() && store_->touched &&
                         stored_.record == positioning_.record &&
                         stored_.lock_epoch == client_.lock_epoch() &&
                         stored_.writes == store_->file->writes();
    return current ? stored_.data.data() : nullptr;
}

int OpenFile::GetDirect(Call& call) {
    const int key = call.key_number;
    if (call.DataCapacity() < 4) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    if (key != -1 && !ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    int status = key >= 0 ? CheckKeyBuffer(call, key) : RECMAN_OK;
    if (status != RECMAN_OK) {
        return status;
    }
    const int64_t position = Read32(call.data);
    if (position == 0) {
        return RECMAN_INVALID_RECORD_ADDRESS;
    }
    status = client_.BeginRead(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    // Read into scratch first: on 44 the caller's buffers keep what they held.
    record_.resize(spec().record_length);
    RecordTarget target{record_.data(), record_.size(), 0, nullptr};
    Found found;
    status = store_->file->Find(Seek::kPosition, key, nullptr, position, &target, &found);
    if (status == RECMAN_END_OF_FILE) {
        return RECMAN_INVALID_RECORD_ADDRESS;
    }
    if (status != RECMAN_OK) {
        return status;
    }
    if (key >= 0 && !found.place.in_key) {
        return RECMAN_INVALID_KEY_PATH;
    }
    const size_t copied = std::min<size_t>(record_.size(), call.DataCapacity());
    std::memcpy(call.data, record_.data(), copied);
    if (key >= 0) {
        ExtractKeyValue(spec().keys[static_cast<size_t>(key)], record_.data(), call.key);
        positioning_.key = key;
        positioning_.place = Positioning::Place::kOn;
        positioning_.on_record = true;
        positioning_.value = std::move(found.place.encoded);
        positioning_.sequence = found.place.sequence;
    } else {
        positioning_.key = -1;
        positioning_.place = Positioning::Place::kNone;
    }
    positioning_.record = found.position;
    target.copied = copied;
    RememberStored(found.position, record_.data(), record_.size());
    return Deliver(call, spec(), target);
}

int OpenFile::GetPosition(Call& call) {
    if (positioning_.record == 0) {
        return RECMAN_INVALID_POSITIONING;
    }
    if (call.DataCapacity() < 4) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    Write32(call.data, static_cast<uint32_t>(positioning_.record));
    *call.data_length = 4;
    return RECMAN_OK;
}

int OpenFile::GetByPercentage(Call& call) {
    const int key = call.key_number;
    if (call.DataCapacity() < 4) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    if (key != -1 && !ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    int status = key >= 0 ? CheckKeyBuffer(call, key) : RECMAN_OK;
    if (status != RECMAN_OK) {
        return status;
    }
    const uint32_t percent = Read32(call.data) & 0xFFFF;
    if (percent > kFullPercent) {
        return RECMAN_INVALID_OPERATION;
    }
    status = client_.BeginRead(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    RecordTarget target{call.data, call.DataCapacity(), 0, key >= 0 ? call.key : nullptr};
    Found found;
    status = store_->file->FindByPercentage(key, percent, &target, &found);
    if (status != RECMAN_OK) {
        return status;
    }
    if (key >= 0) {
        positioning_.key = key;
        positioning_.place = Positioning::Place::kOn;
        positioning_.on_record = true;
        positioning_.value = std::move(found.place.encoded);
        positioning_.sequence = found.place.sequence;
    } else {
        positioning_.key = -1;
        positioning_.place = Positioning::Place::kNone;
    }
    positioning_.record = found.position;
    RememberStored(found.position, call.data, target.copied);
    return Deliver(call, spec(), target);
}

int OpenFile::FindPercentage(Call& call) {
    const int key = call.key_number;
    if (call.DataCapacity() < 4) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    if (key != -1 && !ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    int status = key >= 0 ? CheckKeyBuffer(call, key) : RECMAN_OK;
    if (status != RECMAN_OK) {
        return status;
    }
    int64_t position = 0;
    if (key >= 0) {
        EncodeKeyValue(spec().keys[static_cast<size_t>(key)], call.key, &value_);
    } else {
        position = Read32(call.data);
    }
    status = client_.BeginRead(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    uint32_t percent = 0;
    status = store_->file->PercentageOf(key, value_, position, &percent);
    if (status != RECMAN_OK) {
        return status;
    }
    Write32(call.data, percent);
    *call.data_length = 4;
    return RECMAN_OK;
}

int OpenFile::Insert(Call& call) {
    const int key = call.key_number;
    if (read_only_) {
        return RECMAN_ACCESS_DENIED;
    }
    if (key != -1 && !ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    if (call.DataCapacity() < spec().record_length) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    int status = key >= 0 ? CheckKeyBuffer(call, key) : RECMAN_OK;
    if (status != RECMAN_OK) {
        return status;
    }
    status = client_.BeginWrite(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    int64_t position = 0;
    status = client_.FinishWrite(*store_, store_->file->Insert(call.data, &position));
    if (status != RECMAN_OK || key < 0) {
        return status;
    }
    RememberStored(position, call.data, spec().record_length);
    const KeyPlace& place = store_->file->written_place(key);
    positioning_.key = key;
    positioning_.place = place.in_key ? Positioning::Place::kOn : Positioning::Place::kNone;
    positioning_.on_record = place.in_key;
    positioning_.value = place.encoded;
    positioning_.sequence = place.sequence;
    positioning_.record = position;
    ExtractKeyValue(spec().keys[static_cast<size_t>(key)], call.data, call.key);
    return RECMAN_OK;
}

int OpenFile::Update(Call& call) {
    const int key = call.key_number;
    if (read_only_) {
        return RECMAN_ACCESS_DENIED;
    }
    if (positioning_.record == 0) {
        return RECMAN_INVALID_POSITIONING;
    }
    if (key != -1 && !ValidKey(key)) {
        return RECMAN_INVALID_KEY_NUMBER;
    }
    if (call.DataCapacity() < spec().record_length) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    int status = key >= 0 ? CheckKeyBuffer(call, key) : RECMAN_OK;
    if (status != RECMAN_OK) {
        return status;
    }
    status = client_.BeginWrite(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    status = client_.FinishWrite(
        *store_, store_->file->Update(positioning_.record, call.data, StoredCurrentRecord()));
    if (status != RECMAN_OK) {
        return status;
    }
    RememberStored(positioning_.record, call.data, spec().record_length);
    const bool kept_places = !store_->file->sequences_known();
    if (key < 0) {
        positioning_.on_record = positioning_.on_record && kept_places;
        return status;
    }
    // The positioning follows the record to its new key value.
    KeyPlace place = store_->file->written_place(key);
    if (kept_places && place.in_key && spec().keys[static_cast<size_t>(key)].duplicates) {
        // The record kept its place, sequence and all: known when the positioning
        // stands on it along this key, else read back.
        if (positioning_.key == key && positioning_.place == Positioning::Place::kOn &&
            positioning_.on_record) {
            place.sequence = positioning_.sequence;
        } else {
            Found found;
            if (store_->file->Find(Seek::kPosition, key, nullptr, positioning_.record, nullptr,
                                   &found) != RECMAN_OK) {
                positioning_.key = key;  // written, but its place is unknown
                positioning_.place = Positioning::Place::kNone;
                return RECMAN_OK;
            }
            place.sequence = found.place.sequence;
        }
    }
    if (place.in_key) {
        positioning_.place = Positioning::Place::kOn;
        positioning_.on_record = true;
        positioning_.value = place.encoded;
        positioning_.sequence = place.sequence;
    } else {
        positioning_.on_record = false;
        if (positioning_.key != key) {
            positioning_.place = Positioning::Place::kNone;
        }
    }
    positioning_.key = key;
    ExtractKeyValue(spec().keys[static_cast<size_t>(key)], call.data, call.key);
    return RECMAN_OK;
}

int OpenFile::Delete(Call& call) {
    static_cast<void>(call);
    if (read_only_) {
        return RECMAN_ACCESS_DENIED;
    }
    if (positioning_.record == 0) {
        return RECMAN_INVALID_POSITIONING;
    }
    int status = client_.BeginWrite(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    status = client_.FinishWrite(*store_, store_->file->Delete(positioning_.record));
    if (status == RECMAN_OK) {
        positioning_.record = 0;  // the place along the key stays for Get Next/Previous
        positioning_.on_record = false;
    }
    return status;
}

int OpenFile::Stat(Call& call) {
    const size_t size = RECMAN_SPEC_FILE_PART + RECMAN_SPEC_SEGMENT_PART * spec().SegmentCount();
    if (call.DataCapacity() < size) {
        return RECMAN_DATA_BUFFER_TOO_SHORT;
    }
    int status = client_.BeginRead(*store_);
    if (status != RECMAN_OK) {
        return status;
    }
    uint32_t count = 0;
    status = store_->file->RecordCount(&count);
    if (status != RECMAN_OK) {
        return status;
    }
    const Bytes layout = StatLayout(spec(), count);
    std::memcpy(call.data, layout.data(), layout.size());
    *call.data_length = static_cast<uint32_t>(layout.size());
    return RECMAN_OK;
}

}  // namespace recman
