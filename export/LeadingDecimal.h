#pragma once

namespace vandrell {

// The value of the decimal number text starts with, 0 when it starts with
// anything else: optional white space (space, tab, line feed, vertical tab,
// form feed, carriage return), an optional sign, digits with at most one
// point among them (at least one digit, before or after the point), and an
// optional exponent ("e" or "E", an optional sign, at least one digit).
// Whatever follows is ignored. Hexadecimal, "inf" and "nan" are not numbers here:
// "0x10" reads as 0, "inf" as 0. The result is the correctly rounded double,
// independent of the C locale; a magnitude beyond the double range gives an
// infinity of its sign, one below it a zero of its sign.
double LeadingDecimal(const char* text);

}  // namespace vandrell
