#include "update/UpdateUtil.h"

#include "base/OVProcessWide.h"

TOvUpdate* OvUpdate() { return ov::TProcessWide<TOvUpdate>::Get(); }
void CreateOvUpdate() { ov::TProcessWide<TOvUpdate>::Create(); }
void FreeOvUpdate() { ov::TProcessWide<TOvUpdate>::Free(); }
