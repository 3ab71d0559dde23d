#pragma once
// The search window reaches the map, the panels and the information window through the main
// window; the main window opens it from its search commands and the panels' "Список".

class TFormMap;
class TFormObjList;
class TFormSelectInfo;

void ConnectObjectList(TFormObjList& list, TFormMap& form, TFormSelectInfo& info);
