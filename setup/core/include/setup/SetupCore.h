// The setup tool's non-GUI library in one include: registry routines, brand tables, device
// names, the device tree with its button rules, the editors' rules and "Language.ini".
#pragma once

#include "setup/Brand.h"
#include "setup/DeviceNames.h"
#include "setup/DeviceTree.h"
#include "setup/Editors.h"
#include "setup/LanguageFile.h"
#include "setup/PortList.h"
#include "setup/SetupRegistry.h"
