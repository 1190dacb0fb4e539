#include "ResultText.h"

#include "OposConstants.h"

namespace zanth::cli {

namespace {

struct CodeText {
  std::int32_t code;
  const char* name;
  const char* sentence;
};

constexpr CodeText kResults[] = {
    {OPOS_SUCCESS, "OPOS_SUCCESS", "the request succeeded"},
    {OPOS_E_CLOSED, "OPOS_E_CLOSED", "the device is not open"},
    {OPOS_E_CLAIMED, "OPOS_E_CLAIMED", "another application has claimed the device"},
    {OPOS_E_NOTCLAIMED, "OPOS_E_NOTCLAIMED", "the device must be claimed first"},
    {OPOS_E_NOSERVICE, "OPOS_E_NOSERVICE",
     "the service object cannot be reached (is it registered? run 'zanth register')"},
    {OPOS_E_DISABLED, "OPOS_E_DISABLED", "the device is not enabled"},
    {OPOS_E_ILLEGAL, "OPOS_E_ILLEGAL", "the request or the device entry is not valid"},
    {OPOS_E_NOHARDWARE, "OPOS_E_NOHARDWARE",
     "the printer does not answer (check the cable, the power and the port settings)"},
    {OPOS_E_OFFLINE, "OPOS_E_OFFLINE", "the printer is off line"},
    {OPOS_E_NOEXIST, "OPOS_E_NOEXIST", "no such device or file"},
    {OPOS_E_EXISTS, "OPOS_E_EXISTS", "it exists already"},
    {OPOS_E_FAILURE, "OPOS_E_FAILURE", "the device failed"},
    {OPOS_E_TIMEOUT, "OPOS_E_TIMEOUT", "the printer did not answer in time"},
    {OPOS_E_BUSY, "OPOS_E_BUSY", "the device is busy"},
    {OPOS_E_EXTENDED, "OPOS_E_EXTENDED", "the printer reports a condition"},
    {OPOS_E_DEPRECATED, "OPOS_E_DEPRECATED", "the function is deprecated"},
};

constexpr CodeText kExtended[] = {
    {201, "OPOS_EPTR_COVER_OPEN", "the printer cover is open"},
    {203, "OPOS_EPTR_REC_EMPTY", "the receipt paper is out"},
    {206, "OPOS_EPTR_TOOBIG", "the data is too big to print"},
    {300, "", "the operation or station is not supported by this printer"},
    {301, "", "the logo location or station is not valid"},
    {306, "OPOS_OR_FAILEDOPEN", "the service object failed to open the device"},
};

constexpr CodeText kOpenResults[] = {
    {OPOS_OR_ALREADYOPEN, "OPOS_OR_ALREADYOPEN", "the device is open already"},
    {OPOS_OR_REGBADNAME, "OPOS_OR_REGBADNAME",
     "no device or logical name of that name in the registry (see 'zanth devices')"},
    {OPOS_OR_REGPROGID, "OPOS_OR_REGPROGID",
     "the device entry names a service object that is not registered"},
    {OPOS_OR_CREATE, "OPOS_OR_CREATE", "the service object could not be created"},
    {OPOS_OR_BADIF, "OPOS_OR_BADIF", "the service object lacks methods of its release"},
    {OPOS_OR_FAILEDOPEN, "OPOS_OR_FAILEDOPEN", "the service object failed to open the device"},
    {OPOS_OR_BADVERSION, "OPOS_OR_BADVERSION", "the service object's version is not supported"},
    {OPOS_ORS_NOPORT, "OPOS_ORS_NOPORT",
     "the port cannot be opened or the printer refuses the connection"},
    {OPOS_ORS_NOTSUPPORTED, "OPOS_ORS_NOTSUPPORTED", "the printer model is not supported"},
    {OPOS_ORS_CONFIG, "OPOS_ORS_CONFIG", "the device entry is incomplete or not valid"},
};

template <std::size_t N>
const CodeText* Find(const CodeText (&table)[N], std::int32_t code) {
  for (const CodeText& row : table)
    if (row.code == code) return &row;
  return nullptr;
}

}  // namespace

std::string ResultName(std::int32_t code) {
  const CodeText* row = Find(kResults, code);
  return row ? row->name : "code " + std::to_string(code);
}

std::string ResultSentence(std::int32_t code) {
  const CodeText* row = Find(kResults, code);
  return row ? row->sentence : "the service object reported an unknown code";
}

std::string ExtendedSentence(std::int32_t extended) {
  const CodeText* row = Find(kExtended, extended);
  return row ? row->sentence : "the printer reported condition " + std::to_string(extended);
}

std::string OpenResultSentence(std::int32_t openResult) {
  const CodeText* row = Find(kOpenResults, openResult);
  if (row) return std::string(row->name) + " (" + std::to_string(openResult) + "): " + row->sentence;
  return "OpenResult " + std::to_string(openResult);
}

std::string DescribeResult(std::int32_t code, std::int32_t extended) {
  std::string text = ResultName(code) + " (" + std::to_string(code) + ")";
  if (code == OPOS_E_EXTENDED)
    return text + ", ResultCodeExtended " + std::to_string(extended) + ": " + ExtendedSentence(extended);
  return text + ": " + ResultSentence(code);
}

}  // namespace zanth::cli
