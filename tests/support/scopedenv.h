#pragma once
// Sets (or unsets) an environment variable for the life of the object and puts the
// previous value back afterwards.

#include <optional>
#include <string>

class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};
