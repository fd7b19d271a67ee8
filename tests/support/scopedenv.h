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

    // The variable's value now, or nullopt when it is not set.
    static std::optional<std::string> Current(const std::string& name);

  private:
    std::string name_;
    std::optional<std::string> previous_;
};
