#pragma once
// A pseudo-terminal pair for serial-line tests: the code under test opens the slave
// device as its serial port (through the machine profile's "COMM" section), the test
// reads and writes the master end as the device on the other side of the line.
//
// While nobody holds the slave open, reads on the master fail with EIO; the reads
// here wait that out. The pair is closed when the object goes. Not thread-safe: one
// thread uses the master at a time.

#include <chrono>
#include <string>
#include <string_view>

class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }

    // Writes the bytes to the line (as the device would send them); false on failure.
    bool Write(std::string_view bytes) const;
    // Everything that arrives within `wait`.
    std::string ReadFor(std::chrono::milliseconds wait) const;
    // Reads until what arrived holds `needle` or `timeout` passes; returns all of it.
    std::string ReadUntil(std::string_view needle, std::chrono::milliseconds timeout) const;
    // Reads what is waiting now, waiting at most `wait` for the first byte. An empty
    // result with *hung_up true means nobody holds the slave open.
    std::string ReadSome(std::chrono::milliseconds wait, bool* hung_up = nullptr) const;

  private:
    int master_ = -1;
    std::string slave_path_;
};
