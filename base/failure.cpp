#include "base/failure.h"

#include <exception>
#include <limits>

namespace starwright {

Failure OverflowFailure() { return Failure(kErrOverflow, "Overflow"); }
Failure InvalidArgumentFailure() { return Failure(kErrInvalidArgument, "Invalid procedure call or argument"); }
Failure TypeMismatchFailure() { return Failure(kErrTypeMismatch, "Type mismatch"); }
Failure ObjectNotSetFailure() { return Failure(kErrObjectNotSet, "Object variable or With block variable not set"); }

int16_t NarrowToInt16(int64_t value) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        throw OverflowFailure();
    return static_cast<int16_t>(value);
}

std::string DescribeCurrentException() {
    try {
        throw;
    } catch (const Failure& failure) {
        return failure.Description();
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unexpected error";
    }
}

}  // namespace starwright
