// Print data as a user hands it to 'zanth print': UTF-8 text in which the OPOS escape
// character is either the ESC byte itself or written out as the four characters \x1b.
#pragma once

#include <string>
#include <string_view>

namespace zanth::cli {

// Wide text for PrintNormal: UTF-8 decoded, every "\x1b" (any letter case) made ESC.
std::wstring DecodePrintData(std::string_view bytes);

// Reads a whole file, or standard input for "-". False with a sentence on failure.
bool ReadPrintFile(const std::string& path, std::string& bytes, std::string& error);

}  // namespace zanth::cli
