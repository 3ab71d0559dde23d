#pragma once
// The search window reaches the map, the panels and the information window through the main
// window; the main window opens it from its search commands and the panels' "Список".

class QWidget;
class TFAMap;
class TFormMap;
class TFormObjList;
class TFormSelectInfo;

void ConnectObjectList(TFormObjList& list, TFormMap& form, TFormSelectInfo& info);

// After an object was shown on the map for `window` (the search): moves the map so that the
// object is not under that window, into the widest part of the map the window leaves free.
void KeepShownClearOf(TFAMap& map, const QWidget& window);
