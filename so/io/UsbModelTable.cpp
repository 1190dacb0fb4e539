#include "UsbModelTable.h"

#include <initializer_list>

namespace Tesk::IO {

namespace {

struct ModelGroup {
  const wchar_t* hardwareId;
  std::initializer_list<const wchar_t*> models;
};

// 27 models in five groups that share a USB product id.
const ModelGroup kGroups[] = {
    {L"VID_5A4E&PID_0101", {L"TM-T88IIM", L"TM-T88IIMT", L"TM-T88IIMS", L"TM-T88IIML", L"TM-T88IIMU", L"TM-T88IV"}},
    {L"VID_5A4E&PID_0201", {L"LMX", L"LMX-A", L"LM301", L"LM305", L"LM306"}},
    {L"VID_5A4E&PID_0301", {L"ZQ-1A", L"ZQ-1B", L"ZQ-1C", L"ZQ-2A", L"ZQ-2B", L"ZQ-2D"}},
    {L"VID_5A4E&PID_0401", {L"KW-8", L"KW-10", L"KR-11", L"KR-12", L"K15", L"K15SMB"}},
    {L"VID_5A4E&PID_0501", {L"RHO-1", L"RHO-1e", L"NV-20", L"NV-21"}},
};

}  // namespace

std::wstring HardwareIdForModel(const std::wstring& modelName) {
  for (const ModelGroup& group : kGroups)
    for (const wchar_t* model : group.models)
      if (modelName == model) return group.hardwareId;
  return kDefaultHardwareId;
}

}  // namespace Tesk::IO
