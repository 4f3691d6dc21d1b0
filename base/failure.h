#pragma once
// A failure that ends a handler: an error number and the description the user is shown.
// Host operations, platform services, the window's toolkit and conversions all fail this way,
// so the tools' error traps need to know only this one type. It sits below every other
// folder because every layer speaks it.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace starwright {

class Failure : public std::runtime_error {
public:
    Failure(int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}
    int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }

private:
    int32_t number_;
    std::string description_;
};

// Error numbers the automation runtime uses for its own failures; descriptions are the ones
// a user of an automation host sees.
inline constexpr int32_t kErrInvalidArgument = 5;
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrObjectNotSet = 91;

Failure OverflowFailure();
Failure InvalidArgumentFailure();
Failure TypeMismatchFailure();
// Nothing where an object is due.
Failure ObjectNotSetFailure();

// Narrows to a 16-bit signed integer; outside the range is an overflow failure, never a wrap.
int16_t NarrowToInt16(int64_t value);

// The description of whatever an error trap caught (a Failure, another exception, or an
// unknown one), for showing to the user.
std::string DescribeCurrentException();

}  // namespace starwright
