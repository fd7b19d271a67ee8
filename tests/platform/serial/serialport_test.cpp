#include "platform/serial/serialport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "platform/profile/profile.h"
#include "tests/support/ptypair.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using namespace platform;

class SerialPortTest : public testing::Test {
  protected:
    void MapPort(const std::string& name, const std::string& device) {
        Profile profile;
        ASSERT_EQ(profile.WriteText(ProfileScope::kMachine, "COMM", name, device),
                  ProfileResult::kOk);
    }

    // Opens the pty's slave as COM1.
    std::unique_ptr<SerialPort> OpenPty() {
        MapPort("COM1", pty_.slave_path());
        std::unique_ptr<SerialPort> port = SerialPort::Create(0, 4096, 2048);
        EXPECT_NE(port, nullptr);
        if (port != nullptr) {
            EXPECT_EQ(port->Open(), kSerialOk) << port->LastErrorText();
        }
        return port;
    }

    // What the port has to give within `wait`, up to `want` bytes.
    static std::string Drain(SerialPort& port, std::chrono::milliseconds wait, size_t want) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            char byte = 0;
            const SerialRead read = port.ReadByte(&byte);
            if (read == SerialRead::kByte) {
                got.push_back(byte);
            } else if (read == SerialRead::kFailed || port.WaitReadable(10ms) == kSerialIoError) {
                break;
            }
        }
        return got;
    }

    TempDir profiles_;
    ScopedEnv machine_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine.ini")};
    PtyPair pty_;
};

TEST_F(SerialPortTest, PortNumbersMapToDevicesUnlessTheProfileNamesAnother) {
    EXPECT_EQ(SerialDevicePath(0), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath(7), "/dev/ttyS7");
    EXPECT_EQ(SerialDevicePath(-1), "");
    EXPECT_EQ(SerialDevicePath(8), "");

    MapPort("COM2", "/dev/ttyUSB0");
    MapPort("COM3", "");
    EXPECT_EQ(SerialDevicePath(0), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath(1), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath(2), "/dev/ttyS2");

    EXPECT_EQ(SerialPort::Create(8, 4096, 2048), nullptr);
    EXPECT_EQ(SerialPort::Create(-1, 4096, 2048), nullptr);
    EXPECT_EQ(SerialPort::Create(0, 0, 2048), nullptr);
    const std::unique_ptr<SerialPort> port = SerialPort::Create(1, 4096, 2048);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->number(), 1);
    EXPECT_EQ(port->device(), "/dev/ttyUSB0");
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(SerialPortTest, OpenFailuresSayWhatWentWrong) {
    {
        SerialPort missing(profiles_.file("no-such-device"), 4096, 2048);
        EXPECT_EQ(missing.Open(), kSerialNoDevice);
        EXPECT_FALSE(missing.IsOpen());
        EXPECT_NE(missing.LastErrorText().find("device not found"), std::string::npos);
        EXPECT_NE(missing.LastErrorText().find("no-such-device"), std::string::npos);
    }
    {
        std::ofstream(profiles_.file("plain-file")) << "not a line";
        SerialPort file(profiles_.file("plain-file"), 4096, 2048);
        EXPECT_EQ(file.Open(), kSerialNotATerminal);
        EXPECT_FALSE(file.IsOpen());
    }
    {
        // A second holder of the same line is refused while the first has it.
        SerialPort first(pty_.slave_path(), 4096, 2048);
        SerialPort second(pty_.slave_path(), 4096, 2048);
        ASSERT_EQ(first.Open(), kSerialOk);
        EXPECT_EQ(second.Open(), kSerialPortBusy);
        first.Close();
        EXPECT_EQ(second.Open(), kSerialOk);
    }
}

TEST_F(SerialPortTest, MovesBytesBothWaysInOrder) {
    std::unique_ptr<SerialPort> port = OpenPty();
    ASSERT_NE(port, nullptr);

    char byte = 0;
    EXPECT_EQ(port->ReadByte(&byte), SerialRead::kNothingWaiting);
    EXPECT_EQ(port->WaitReadable(50ms), kSerialTimedOut);

    ASSERT_EQ(port->WriteByte('A'), kSerialOk);
    ASSERT_EQ(port->Write(std::string("B\x02\x03", 3)), kSerialOk);
    ASSERT_EQ(port->WriteText("ATZ", '\r'), kSerialOk);
    EXPECT_EQ(pty_.ReadUntil("ATZ\r", 2000ms), std::string("AB\x02\x03"
                                                           "ATZ\r"));

    // More than the receive buffer holds at once still arrives whole and in order.
    std::string sent;
    for (int i = 0; i < 10000; ++i) {
        sent.push_back(static_cast<char>('a' + i % 26));
    }
    ASSERT_TRUE(pty_.Write(sent));
    ASSERT_EQ(port->WaitReadable(2000ms), kSerialOk);
    EXPECT_EQ(Drain(*port, 3000ms, sent.size()), sent);
    EXPECT_EQ(port->WaitReadable(20ms), kSerialTimedOut);
}

TEST_F(SerialPortTest, PurgeInputDiscardsWhatHasArrived) {
    std::unique_ptr<SerialPort> port = OpenPty();
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(pty_.Write("old answer\r\n"));
    ASSERT_EQ(port->WaitReadable(2000ms), kSerialOk);
    char byte = 0;
    ASSERT_EQ(port->ReadByte(&byte), SerialRead::kByte);  // some read ahead, some not
    EXPECT_EQ(port->PurgeInput(), kSerialOk);
    EXPECT_EQ(port->ReadByte(&byte), SerialRead::kNothingWaiting);
    ASSERT_TRUE(pty_.Write("new"));
    ASSERT_EQ(port->WaitReadable(2000ms), kSerialOk);
    EXPECT_EQ(Drain(*port, 1000ms, 3), "new");
}

TEST_F(SerialPortTest, APseudoTerminalWorksWithCarrierUnknownAndOneNote) {
    std::unique_ptr<SerialPort> port = OpenPty();
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->HasModemLines());
    EXPECT_EQ(port->CarrierPresent(), std::nullopt);

    EXPECT_EQ(port->SetDtr(false), kSerialOk);
    EXPECT_EQ(port->SetRts(false), kSerialOk);
    EXPECT_EQ(port->RefreshLineState(), kSerialOk);
    EXPECT_EQ(port->SetDtr(true), kSerialOk);
    EXPECT_EQ(port->SetHandshake(false), kSerialOk);
    EXPECT_EQ(port->SetDataFormat(2400, 'E', 7, 1), kSerialOk);
    EXPECT_EQ(port->SetDataFormat(2400, 'E', 7, 1), kSerialOk);
    EXPECT_EQ(port->CarrierPresent(), std::nullopt);

    const std::vector<std::string> notes = port->TakeNotes();
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find(pty_.slave_path()), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("carrier presence unknown"), std::string::npos) << notes[0];
    // At most one note per kind, however often the line refuses the same thing.
    EXPECT_LE(notes.size(), 2u);
    EXPECT_TRUE(port->TakeNotes().empty());
    EXPECT_EQ(port->SetDataFormat(9600, 'N', 8, 1), kSerialOk);
    EXPECT_TRUE(port->TakeNotes().empty());

    // The line still works after all of it.
    ASSERT_EQ(port->WriteText("ok", '\r'), kSerialOk);
    EXPECT_EQ(pty_.ReadUntil("\r", 2000ms), "ok\r");
}

TEST_F(SerialPortTest, InvalidLineFormatsAreRefused) {
    std::unique_ptr<SerialPort> port = OpenPty();
    ASSERT_NE(port, nullptr);
    struct Case {
        int rate;
        char parity;
        int data_bits;
        int stop_bits;
    };
    const Case refused[] = {
        {12345, 'N', 8, 1}, {0, 'N', 8, 1},    {2400, 'X', 8, 1}, {2400, '\0', 8, 1},
        {2400, 'E', 9, 1},  {2400, 'E', 4, 1}, {2400, 'E', 7, 0}, {2400, 'E', 7, 3},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(port->SetDataFormat(c.rate, c.parity, c.data_bits, c.stop_bits), kSerialBadFormat)
            << c.rate << " " << c.parity << c.data_bits << c.stop_bits;
    }
    for (const char parity : {'N', 'O', 'E', 'M', 'S', 'e'}) {
        EXPECT_EQ(port->SetDataFormat(1200, parity, 7, 2), kSerialOk) << parity;
    }
}

TEST_F(SerialPortTest, ALineWhoseOtherEndWentAwayFails) {
    std::unique_ptr<SerialPort> port;
    {
        PtyPair pair;
        MapPort("COM4", pair.slave_path());
        port = SerialPort::Create(3, 4096, 2048);
        ASSERT_NE(port, nullptr);
        ASSERT_EQ(port->Open(), kSerialOk);
    }
    EXPECT_EQ(port->WaitReadable(1000ms), kSerialIoError);
    char byte = 0;
    EXPECT_NE(port->ReadByte(&byte), SerialRead::kByte);
    EXPECT_NE(port->Write("x"), kSerialOk);

    port->Close();
    EXPECT_EQ(port->WriteByte('x'), kSerialNotOpen);
    EXPECT_EQ(port->PurgeInput(), kSerialNotOpen);
}

TEST(SerialErrorTest, EveryCodeHasWords) {
    for (int code = kSerialOk; code <= kSerialSystemError; ++code) {
        const std::string text = SerialErrorText(code);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find("unknown"), std::string::npos) << code;
    }
    EXPECT_NE(SerialErrorText(99).find("99"), std::string::npos);
}

}  // namespace
