// Names and plain sentences for the OPOS codes a command-line user sees.
#pragma once

#include <cstdint>
#include <string>

namespace zanth::cli {

// "OPOS_E_NOHARDWARE" for 107; "code 999" for a code without a standard name.
std::string ResultName(std::int32_t code);
// One sentence that says what the code means for the user.
std::string ResultSentence(std::int32_t code);
// For OPOS_E_EXTENDED: the printer's reason (201 cover open, 203 receipt empty, ...).
std::string ExtendedSentence(std::int32_t extended);
// For a failed Open: why (the OpenResult codes 301 to 307 and 401 to 403).
std::string OpenResultSentence(std::int32_t openResult);

// "OPOS_E_EXTENDED (114), ResultCodeExtended 203: the receipt paper is out."
std::string DescribeResult(std::int32_t code, std::int32_t extended);

}  // namespace zanth::cli
