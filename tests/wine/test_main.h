#pragma once
// What the shared main of the Windows-side test programs (test_main.cpp) takes from its
// arguments: a first argument "de" runs the program in a German user locale, which its .cmake
// part sets through LC_ALL; anything else, English.

#include <string>

namespace starwright {

bool InGermanLocale();
// How the run's user locale writes the decimal separator.
inline char DecimalSeparator() { return InGermanLocale() ? ',' : '.'; }
// A number text written with "." as the run's user locale writes it.
inline std::string Localised(std::string text) {
    for (char& ch : text)
        if (ch == '.') ch = DecimalSeparator();
    return text;
}

}  // namespace starwright
