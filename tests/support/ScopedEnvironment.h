#pragma once
// Sets an environment variable for the life of a test and puts the old value
// (or its absence) back afterwards.
#include <cstdlib>
#include <optional>
#include <string>

namespace lumora::test {

class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *name_;
    std::optional<std::string> old_;
};

} // namespace lumora::test
