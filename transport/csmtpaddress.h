#pragma once
// A mail address with an optional friendly name, as used in the envelope and the
// header of an e-mail page. A plain copyable value.

#include <string>

struct CSMTPAddress {
    std::string name;     // friendly name; may be empty
    std::string address;  // the mailbox, local part "@" domain

    // "name <address>" when the name is not empty, else the address alone.
    std::string DisplayForm() const { return name.empty() ? address : name + " <" + address + ">"; }
};
