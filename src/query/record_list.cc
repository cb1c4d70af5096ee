// Object base and owning record list; see record_list.h.
#include "query/record_list.h"

namespace qrv {

const char* CZK_OBJECT::GetRuntimeClass() const { return "CZK_OBJECT"; }
CZK_OBJECT::~CZK_OBJECT() = default;
void CZK_OBJECT::Serialize() {}

CZK_OBJECT_LIST::~CZK_OBJECT_LIST() = default;
const char* CZK_OBJECT_LIST::GetRuntimeClass() const {
  return "CZK_OBJECT_LIST";
}

void FreeRecordList(CZK_OBJECT_LIST* list) {
  if (list == nullptr) return;
  for (auto& record : list->items_) record.reset();
  list->items_.clear();
  delete list;
}

}  // namespace qrv
