#pragma once
// placeholder: replaced by the value holders
#include "item/post_base.h"
namespace fam3 {
class PostData_BRD_STRING : public PostBase { public: using PostBase::PostBase; void SetData(const unsigned char*, unsigned) override {} void SetStatus(int) override {} HDDEDATA GetDataHandle() override { return nullptr; } };
typedef PostData_BRD_STRING PostData_WRD_STRING;
}
