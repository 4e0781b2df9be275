#pragma once

#include <QString>

namespace Veltrix {

// True when text is one whole e-mail address of the form name@domain.tld:
// the name of letters, digits and "._%+-", the domain of letters, digits, "."
// and "-", and a top-level domain of 2 to 63 letters. Empty text, blanks
// around the address and anything after it fail.
bool isValidEmail(const QString &text);

} // namespace Veltrix
