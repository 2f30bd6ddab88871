// The values of a Jet 4.0 file as the password book keeps them: text, stored as UTF-16 or in Jet's
// compressed form, becomes UTF-8 with every character exactly as stored (those outside the Basic
// Multilingual Plane included); a Date/Time value becomes its calendar day.
#pragma once

#include "protocol/jet.h"

#include <optional>
#include <string>
#include <string_view>

namespace JetText {

// The UTF-8 text of a Text or Memo value's stored bytes, into text; false when they hold no text
// (a character cut in half, a surrogate without its partner).
bool utf8(std::string_view stored, std::string& text);

// The day of a Date/Time value (days since 1899-12-30, the time of day as the fraction, toward
// zero for days before); nothing outside the years 100 to 9999 that Jet allows.
std::optional<JetProtocol::Date> day(double value);

}  // namespace JetText
