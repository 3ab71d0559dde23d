#include "FormMapGroup.h"

#include "FormMap.h"

TFormMapGroup::TFormMapGroup(TFormMap& form, TDataModuleVANDREL& data)
    : QObject(&form), Form(form), Data(data), Map(form.Map) {}
