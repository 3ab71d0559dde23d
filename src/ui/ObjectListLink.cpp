#include "ObjectListLink.h"

#include "FormMap.h"
#include "FormSelectImages.h"
#include "FormSelectInfo.h"
#include "LayerPanels.h"

#include "data/DataModule.h"
#include "core/FAMap.h"
#include "search/FormObjList.h"

#include <QAction>

void ConnectObjectList(TFormObjList& list, TFormMap& form, TFormSelectInfo& info) {
  list.ShowObjectOnMap = [&form](int category, int cls, int code) {
    return form.Panels->ShowObjectOnMap(category, cls, code);
  };
  // The search window names the class of its objects; the panels' selection plays no part.
  list.GetObjectImageIndex = [&form](int category, int cls, int code) {
    return form.Map->GetLayerObjectImage(category, cls, code);
  };
  list.SetObjectImageIndex = [&form](int category, int cls, int code, int image) {
    form.Map->SetLayerObjectImage(category, cls, code, image);
  };
  list.ChooseImage = [&form](int) {
    TFormSelectImages window(*TDataModuleVANDREL::Instance(), &form);
    return window.exec() == QDialog::Accepted ? window.SelectedImageIndex : -1;
  };
  list.ShowInfo = [&form, &info](int category, int cls, int record) {
    if (!info.isVisible()) info.show();
    info.ShowInfo(category, cls, record);
    form.Action("ppmiInfoPlus")->setVisible(true);
  };
  form.SetObjectList([&list](const QString& table, const QString& dir, const QString& caption,
                             int mode, int category, int cls, int group) {
    list.ShowList(table, dir, caption, mode, category, cls, group);
  });
}
