#pragma once
// The application title and the text of the error box, as pure functions so they can be checked
// without a window.

#include <QString>
#include <string>
#include <string_view>

namespace parvell {

// The title the application shows where a box has no caption of its own: the program file's name
// (the part after the last folder separator) up to its first dot, every letter after the first
// in lower case (any alphabet). The first character keeps its case.
QString ApplicationTitleFor(const QString& programPath);

// The text the error box shows for an exception's message: the message with a full stop appended
// when its last character sorts after "." (compared as unsigned single bytes). An empty message
// stays empty.
std::string ErrorBoxText(std::string_view message);

}  // namespace parvell
