#pragma once
// The paging terminal's side of TAP blocks, for the test terminal: it finds blocks in
// the byte stream a caller sends and takes each apart (pager ID, message field,
// checksum), checking the checksum on its own. Written from the protocol description,
// separately from the carrier's block builder, so the two check each other.
//
// A block: STX, pager ID, CR, message field, CR, ETX, three checksum characters, CR.
// The checksum is the sum of the bytes STX through ETX; its low 12 bits, four at a
// time, most significant first, each added to '0'. The ETAP extension puts ")#*&(C"
// at the end of a page's field to ask for confirmation, and uses fields ")#*&(Q<n>"
// (status of message n) and ")#*&(D<n>" (cancel message n).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TapParsedBlock {
    enum class Kind { kPage, kConfirmedPage, kQuery, kCancel };

    std::string raw;           // the block as received, STX through the final CR
    bool framed = false;       // STX ... CR ETX xxx CR with an ID separator
    bool checksum_ok = false;  // the three characters match the sum
    std::string pin;
    std::string field;  // the message field as sent
    Kind kind = Kind::kPage;
    std::string text;     // a page's text (without a confirmation request)
    int64_t number = -1;  // a query's or cancel's message number, -1 when unreadable
};

// Takes one block apart; `raw` runs from STX through the CR after the checksum.
TapParsedBlock ParseTapBlock(std::string_view raw);

// Collects blocks from a byte stream: Feed each byte; a completed block comes back.
// Bytes outside a block are ignored; an STX inside a block starts a new one. A block
// that grows beyond `limit` bytes without completing is dropped.
class TapBlockCollector {
  public:
    explicit TapBlockCollector(size_t limit = 1024) : limit_(limit) {}
    std::optional<TapParsedBlock> Feed(char byte);
    bool InBlock() const { return in_block_; }
    void Reset();

  private:
    size_t limit_;
    bool in_block_ = false;
    std::string bytes_;
    int after_etx_ = -1;  // bytes seen after ETX, -1 before ETX
};
