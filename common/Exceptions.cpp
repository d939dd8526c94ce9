#include "common/Exceptions.h"

#include "common/Text.h"

namespace parvell {

EListError::EListError(int index)
    : Exception(FormatMessage("List index out of bounds (%d)", {index})) {}

EInOutError::EInOutError(int errorCode) : Exception(MessageFor(errorCode)), errorCode_(errorCode) {}

std::string EInOutError::MessageFor(int errorCode) {
    switch (errorCode) {
        case 2:
            return "File not found";
        case 3:
            return "Invalid filename";
        case 4:
            return "Too many open files";
        case 5:
            return "File access denied";
        case 100:
            return "Read beyond end of file";
        case 101:
            return "Disk full";
        case 106:
            return "Invalid numeric input";
        default:
            return FormatMessage("I/O error %d", {errorCode});
    }
}

}  // namespace parvell
