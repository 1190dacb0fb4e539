// Brand tables: owned ProgIDs, model lists and model groups.
#include "setup/Brand.h"

#include <string_view>

namespace zanth::setup {

namespace {

struct BrandRow {
  const wchar_t* brand;
  const wchar_t* ownProgId;
  std::vector<std::wstring> models;
};

const std::vector<BrandRow>& Brands() {
  static const std::vector<BrandRow> rows = {
      {L"VELDA", L"BrekkOposPrinterU1.13", {L"KR-11", L"KR-12"}},
      {L"Corlin", L"CorlinOposPrinterU1.13", {L"LM301", L"LM305", L"LM306", L"LMX-A"}},
      {L"DEBUG",
       L"AlvoraOposPrinterU1.13,BrekkOposPrinterU1.13,CorlinOposPrinterU1.13,"
       L"ZanthOposPrinterU1.13,DravelOposPrinterU1.13,FennicOposPrinterU1.13,"
       L"GorranOposPrinterU1.13,",
       {L"KR-11", L"KR-12", L"LM301", L"LM305", L"LM306", L"ZQ-1A", L"ZQ-1B", L"ZQ-1C", L"ZQ-2A",
        L"ZQ-2B", L"ZQ-2D", L"LMX-A", L"NV-21", L"NV-20", L"RHO-1", L"RHO-1e", L"GX-50",
        L"GX-60"}},
      {L"QM", L"DravelOposPrinterU1.13", {L"NV-21", L"NV-20"}},
      {L"QN", L"AlvoraOposPrinterU1.13", {L"LM306"}},
      {L"Zanth", L"ZanthOposPrinterU1.13",
       {L"ZQ-1A", L"ZQ-1B", L"ZQ-1C", L"ZQ-2A", L"ZQ-2B", L"ZQ-2D"}},
      {L"Fennic", L"FennicOposPrinterU1.13", {L"RHO-1", L"RHO-1e"}},
      {L"Gorran", L"GorranOposPrinterU1.13", {L"GX-50", L"GX-60"}},
      {L"Hollin", L"HollinOposPrinterU1.13", {L"HL-1"}},
      {L"Istra", L"IstraOposPrinterU1.13", {L"IS-1", L"IS-2"}},
      {L"Orvane", L"OrvaneOposPrinterU1.13", {L"OR-1"}},
  };
  return rows;
}

const BrandRow* FindBrand(const std::wstring& brand) {
  for (const BrandRow& row : Brands())
    if (brand == row.brand) return &row;
  return nullptr;
}

// The shared group whose ProgID depends on the brand.
constexpr wchar_t kSharedGroup[] = L"LM301,LM305,LM306,LMX-A,";

struct GroupRow {
  const wchar_t* members;
  const wchar_t* progId;  // null: decided by the brand
  const wchar_t* description;
};

constexpr GroupRow kGroups[] = {
    {L"KR-11,KR-12", L"BrekkOposPrinterU1.13", L"Brekkel POS Printer"},
    {kSharedGroup, nullptr, nullptr},
    {L"ZQ-1A,ZQ-1B,ZQ-1C,ZQ-2A,ZQ-2B,ZQ-2D,", L"ZanthOposPrinterU1.13", L"Zanth POS Printer"},
    {L"GX-50,GX-60,", L"GorranOposPrinterU1.13", L"Gorran POS Printer"},
    {L"NV-21,NV-20,", L"DravelOposPrinterU1.13", L"Dravel POS Printer"},
    {L"RHO-1,RHO-1e,", L"FennicOposPrinterU1.13", L"Fennic POS Printer"},
    {L"HL-1,", L"HollinOposPrinterU1.13", L"Hollin POS Printer"},
    {L"OR-1,", L"OrvaneOposPrinterU1.13", L"Orvane POS Printer"},
    {L"IS-1,IS-2,", L"IstraOposPrinterU1.13", L"Istra POS Printer"},
};

const GroupRow* FindGroup(const std::wstring& model) {
  if (model.empty()) return nullptr;
  for (const GroupRow& row : kGroups)
    if (std::wstring_view(row.members).find(model) != std::wstring_view::npos) return &row;
  return nullptr;
}

}  // namespace

std::wstring OwnProgIdOf(const std::wstring& brand) {
  const BrandRow* row = FindBrand(brand);
  return row ? row->ownProgId : L"";
}

bool IsOwnedProgId(const std::wstring& progId, const std::wstring& ownProgId) {
  return !progId.empty() && ownProgId.find(progId) != std::wstring::npos;
}

std::vector<std::wstring> ModelsOf(const std::wstring& brand) {
  const BrandRow* row = FindBrand(brand);
  return row ? row->models : std::vector<std::wstring>();
}

ModelGroup PrinterGroupOf(const std::wstring& model, const std::wstring& brand) {
  ModelGroup group;
  const GroupRow* row = FindGroup(model);
  if (!row) return group;
  group.found = true;
  if (row->progId) {
    group.progId = row->progId;
    group.description = row->description;
  } else if (brand == L"QN") {
    group.progId = L"AlvoraOposPrinterU1.13";
    group.description = L"Alvora POS Printer";
  } else {
    // Only the two brands that sell this group own a ProgID for it.
    if (brand == L"Corlin") group.progId = L"CorlinOposPrinterU1.13";
    group.description = L"Corlin POS Printer";
  }
  return group;
}

std::wstring DrawerProgIdOf(const std::wstring& printerModel, const std::wstring& brand) {
  const GroupRow* row = FindGroup(printerModel);
  if (!row) return {};
  if (row->progId) return row->progId;
  return brand == L"QN" ? L"AlvoraOposPrinterU1.13" : L"CorlinOposPrinterU1.13";
}

}  // namespace zanth::setup
