#pragma once
// What the shared main of the Windows-side test programs (test_main.cpp) takes from its
// arguments: a first argument "de" or "fr" runs the program in a German or French user locale,
// which its .cmake part sets through LC_ALL; anything else, English.

#include <string>

namespace starwright {

bool InGermanLocale();
bool InFrenchLocale();
// How the run's user locale writes the decimal separator.
inline char DecimalSeparator() { return InGermanLocale() || InFrenchLocale() ? ',' : '.'; }
// A number text written with "." as the run's user locale writes it.
inline std::string Localised(std::string text) {
    for (char& ch : text)
        if (ch == '.') ch = DecimalSeparator();
    return text;
}

}  // namespace starwright
