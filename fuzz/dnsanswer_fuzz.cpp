// Feeds arbitrary datagrams to the reader of name-server answers (from a buffer of
// exactly their size, so that the sanitizers see any read past the end) and checks
// what it promises: every entry has a host of at most 255 characters, addresses are
// empty or dotted, and the list is ordered by preference.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/dnsmessage.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> datagram(data, data + size);
    const std::vector<tvMailExchanger> list = ParseMxAnswer(datagram.data(), datagram.size());
    for (size_t i = 0; i < list.size(); ++i) {
        Check(!list[i].host.empty() && list[i].host.size() <= kMaxNameLength);
        Check(list[i].address.size() <= 15);
        if (i > 0) {
            Check(list[i - 1].preference <= list[i].preference);
        }
    }
    return 0;
}
