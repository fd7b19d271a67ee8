#pragma once
// Which receive-side features a work cycle runs, from the server options, this
// computer's feature switches and the socket support.
//
// POP3 intake needs QENABLERECV "Y" and socket support. Alarm Watch and the file
// gateway each need their own switch and QENABLEIMPORT "Y": the option turns both
// off at once whatever the switches say.

struct tvReceivePlan {
    bool pop3_intake = false;
    bool alarm_watch = false;
    bool file_gateway = false;
    bool operator==(const tvReceivePlan&) const = default;
};

struct tvReceiveSettings {
    bool enable_receive = false;  // QENABLERECV is "Y"
    bool enable_import = false;   // QENABLEIMPORT is "Y"
    bool sockets_available = false;
    bool alarm_watch_switch = false;   // "Alarm Watch" of the machine's profile
    bool file_gateway_switch = false;  // "File Gateway" of the machine's profile
};

tvReceivePlan PlanReceiveWork(const tvReceiveSettings& settings);
